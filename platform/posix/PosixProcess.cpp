#include "platform/posix/PosixProcess.h"

#include <cstdio>
#include <unistd.h>

namespace veltor::posix {

void EndProcess(int code) {
    std::fflush(nullptr);
    ::_exit(code);
}

} // namespace veltor::posix
