# zsh -f zsh_complete.zsh COMPLETION_DIR LINE: types LINE and a Tab into an interactive zsh and
# prints every match the completion system adds, each between the bytes 1 and 2.
zmodload zsh/zpty
zpty z zsh -f -i
zpty -w z "PS1='' PROMPT='' RPROMPT='' fpath=(${(q)1} \$fpath); autoload -Uz compinit; compinit -u -D"
zpty -w z 'compadd() { local -a hits; builtin compadd -O hits "$@"; (( $#hits )) && print -rl -- $'"'\\1'"'${^hits}$'"'\\2'"'; builtin compadd "$@" }'
zpty -w z "print -r -- \$'\\3'"
local line out
while zpty -r z line; do [[ $line == *$'\3'* ]] && break; done
zpty -w -n z "$2"$'\t'
zpty -w z $'\C-u'"print -r -- \$'\\4'"
while zpty -r z line; do
  [[ $line == *$'\4'* ]] && break
  out+=$line
done
zpty -d z
print -r -- $out
