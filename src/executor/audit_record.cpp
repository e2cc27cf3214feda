#include "audit_record.h"

#include <cstdlib>

#include <fmt/format.h>
#include <syslog.h>
#include <unistd.h>

#include "patch_text.h"
#include "terminal_text.h"

namespace quvane::executor {
namespace {

// A value in double quotes: the quotation mark and the reverse solidus escaped, and whatever
// would act on a terminal reading the log.
std::string quoted_value(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            escaped.push_back('\\');
        }
        escaped.push_back(c);
    }
    return "\"" + shown(escaped, Shown::Escaped) + "\"";
}

// The real user id, and the user that sudo or the login session names, when there is one.
std::string invoking_user() {
    std::string who = fmt::format("uid={}", ::getuid());
    if (const char* sudo_user = std::getenv("SUDO_USER"); sudo_user != nullptr) {
        who += " sudo_user=" + quoted_value(sudo_user);
    } else if (const char* login = ::getlogin(); login != nullptr) {
        who += " login=" + quoted_value(login);
    }
    return who;
}

}  // namespace

AuditRecords::AuditRecords(std::string_view subcommand)
    : who_(invoking_user()), subcommand_(subcommand) {
    ::openlog("quvane", LOG_PID, LOG_AUTHPRIV);
}

AuditRecords::~AuditRecords() {
    ::closelog();
}

void AuditRecords::send(std::string_view details) const {
    const std::string record = fmt::format("{} subcommand={} {}", who_, subcommand_, details);
    ::syslog(LOG_AUTHPRIV | LOG_NOTICE, "%s", record.c_str());
}

void AuditRecords::outcome(std::string_view identifier,
                           const Result<Answer<std::vector<PatchStateRecord>>>& states) {
    std::string details = "identifier=" + quoted_value(identifier);
    if (!states) {
        details += " outcome=error error=" + quoted_value(states.error().message());
    } else {
        details += " outcome=done";
        for (const PatchStateRecord& state : **states) {
            details += fmt::format(" patch={} status={}", quoted_value(state.name),
                                   status_word(state.status));
        }
    }
    send(details);
}

void AuditRecords::outcome(const Result<>& result) {
    send(result ? std::string("outcome=done")
                : "outcome=error error=" + quoted_value(result.error().message()));
}

}  // namespace quvane::executor
