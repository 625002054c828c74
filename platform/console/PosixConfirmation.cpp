#include "platform/console/PosixConfirmation.h"

#include "platform/console/ConsoleApplication.h"

#include <unistd.h>

namespace veltor::console {

bool PosixConfirmation::CanAsk() const {
    return isatty(fileno(in_)) == 1 && isatty(fileno(out_)) == 1;
}

bool PosixConfirmation::Confirm(const std::string& question) {
    WriteToStream(out_, question);
    std::string answer;
    for (int c = std::fgetc(in_); c != '\n'; c = std::fgetc(in_)) {
        // Without its line end the answer was not given: input closed, or Ctrl-D at the prompt.
        if (c == EOF) return false;
        answer += static_cast<char>(c);
    }
    return IsConfirmingAnswer(answer);
}

} // namespace veltor::console
