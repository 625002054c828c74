#pragma once
// The person at the terminal on Linux: the question on standard output, the answer read from
// standard input.

#include "ports/Restore.h"

#include <cstdio>
#include <string>

namespace veltor::console {

class PosixConfirmation final : public IConfirmation {
public:
    // The streams are the process's own unless a test hands others.
    explicit PosixConfirmation(std::FILE* in = stdin, std::FILE* out = stdout) : in_(in), out_(out) {}

    // Both streams are a terminal.
    bool CanAsk() const override;
    // Writes the question as it is and reads one line; input that ends before the line does is
    // a no.
    bool Confirm(const std::string& question) override;

private:
    std::FILE* in_;
    std::FILE* out_;
};

} // namespace veltor::console
