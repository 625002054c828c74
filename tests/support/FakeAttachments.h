#pragma once
// A client library that records the database attachments asked of it (the name and the
// parameter block of each) and accepts them; database_info answers isc_info_next_transaction
// with 5. The other entry points are left empty. One recorder at a time, named by
// gRecordedAttachments.

#include "dbserver/FbClientApi.h"

#include <cstring>
#include <string>
#include <vector>

namespace veltor::test {

struct RecordedAttachments {
    std::vector<std::string> names;
    std::vector<std::string> blocks;
};
inline RecordedAttachments* gRecordedAttachments = nullptr;

inline fb::ClientApi RecordingAttachmentsApi(fb::FileNameBytes names) {
    fb::ClientApi api{};
    api.fileNames = names;
    api.attach_database = [](fb::Status*, short nameLength, const char* name, fb::Handle* handle, short blockLength,
                             const char* block) -> fb::Status {
        gRecordedAttachments->names.emplace_back(name, static_cast<std::size_t>(nameLength));
        gRecordedAttachments->blocks.emplace_back(block, static_cast<std::size_t>(blockLength));
        *handle = 9;
        return 0;
    };
    api.detach_database = [](fb::Status*, fb::Handle* handle) -> fb::Status {
        *handle = 0;
        return 0;
    };
    api.database_info = [](fb::Status*, fb::Handle*, short, const char*, short length, char* reply) -> fb::Status {
        const char next[] = {107, 4, 0, 5, 0, 0, 0, 1};
        std::memcpy(reply, next, sizeof next < static_cast<std::size_t>(length) ? sizeof next : 0);
        return 0;
    };
    return api;
}

} // namespace veltor::test
