# zsh -f zsh_complete.zsh COMPLETION_DIR LINE: types LINE and asks for completion in an
# interactive zsh, and prints every match the completion system adds, each between the bytes 1
# and 2. Nothing is typed before the line editor shows its prompt: until then the terminal is
# in line mode, where keys can be lost or act as signals.
zmodload zsh/zpty
zpty z zsh -f -i
local line out
zpty -r -m z line '*[%#]*'
zpty -w z "PS1=\$'\\6' PROMPT2='' RPROMPT='' fpath=(${(q)1} \$fpath); autoload -Uz compinit; compinit -u -D"
zpty -r -m z line '*'$'\6''*'
zpty -w z 'compadd() { local -a hits; builtin compadd -O hits "$@"; (( $#hits )) && print -rl -- $'"'\\1'"'${^hits}$'"'\\2'"'; builtin compadd "$@" }'
zpty -r -m z line '*'$'\6''*'
# Completion, then a marker once it is over, on Alt-z.
zpty -w z 'complete-then-mark() { zle complete-word; print -r -- $'"'\\5'"' }; zle -N complete-then-mark; bindkey "\ez" complete-then-mark'
zpty -r -m z line '*'$'\6''*'
zpty -w -n z "$2"$'\ez'
while zpty -r z line; do
  out+=$line
  [[ $line == *$'\5'* ]] && break
done
zpty -d z
print -r -- $out
