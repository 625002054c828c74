#include "dbserver/FirebirdError.h"

namespace veltor::fb {

FirebirdError ErrorFromStatus(const ClientApi& api, const Status* status) {
    std::string message;
    char text[1024];
    const Status* cursor = status;
    for (;;) {
        text[0] = '\0';
        if (api.interpret(text, sizeof text, &cursor) <= 0) break;
        if (!message.empty() && message.back() != '\n') message += "\r\n";
        message += text;
    }
    if (!message.empty() && message.back() == '.') message.pop_back();
    const std::int32_t sqlCode = api.sqlcode(status);
    const std::intptr_t engineCode = IsError(status) ? status[1] : 0;
    return FirebirdError(message, sqlCode, engineCode);
}

} // namespace veltor::fb
