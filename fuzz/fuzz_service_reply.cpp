// The reply parser of the service's output lines over any bytes: it either raises
// FirebirdError or returns a line that lies inside the reply, without a zero byte, and
// empty at the end.

#include "dbserver/FirebirdError.h"
#include "dbserver/FirebirdServiceConnection.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly `size` bytes, so that a read past the reply is caught.
    char* reply = static_cast<char*>(std::malloc(size == 0 ? 1 : size));
    if (size > 0) std::memcpy(reply, data, size);
    try {
        const veltor::fb::ServiceLine line = veltor::fb::ParseServiceLineReply(reply, size);
        const bool inside = size >= 4 && line.text.size() <= size - 4 &&
                            std::memcmp(line.text.data(), reply + 3, line.text.size()) == 0;
        if (!inside || line.text.find('\0') != std::string::npos || (line.atEnd && !line.text.empty())) {
            std::fprintf(stderr, "fuzz_service_reply: a line that the reply does not hold\n");
            std::abort();
        }
    } catch (const veltor::fb::FirebirdError&) {
        // A reply of another shape.
    }
    std::free(reply);
    return 0;
}
