// The client-library boundary over fbclient.dll, loaded when first asked for. The library of
// the database server installed on the machine comes first (the FIREBIRD variable's folder,
// then the server instance in the registry): only a server's library has the engine beside it
// (plugins\engine*.dll) that a restore through the local protocol runs in this process. Then
// the program's folder and the folders of the PATH. The current folder is not searched, so a
// fbclient.dll left beside ADMINBD.inf is never picked up by accident.
#include "dbserver/FbClientApi.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

#include <cstddef>
#include <string_view>

#ifdef VELTOR_HAVE_IBASE_H
#include "platform/FbClientLayout.h"
#endif

namespace veltor::win32 {
namespace {

constexpr const char* kLibraryName = "fbclient.dll";
constexpr const char* kServerInstancesKey = "SOFTWARE\\Firebird Project\\Firebird Server\\Instances";
constexpr const char* kServerInstanceValue = "DefaultInstance";

std::string InFolder(const std::string& folder, const char* name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return folder + (last == '\\' || last == '/' ? "" : "\\") + name;
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> PathFolders() {
    std::vector<std::string> folders;
    const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size == 0) return folders;
    std::string path(size, '\0');
    const DWORD length = GetEnvironmentVariableA("PATH", path.data(), size);
    path.resize(length < size ? length : 0);
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(';', start);
        if (end == std::string::npos) end = path.size();
        std::string folder = path.substr(start, end - start);
        // Entries may be quoted when they hold a ';'-free name with blanks.
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
            folder = folder.substr(1, folder.size() - 2);
        if (!folder.empty()) folders.push_back(folder);
        start = end + 1;
    }
    return folders;
}

std::string EnvironmentValue(const char* name) {
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    const DWORD length = GetEnvironmentVariableA(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

// The root folder of the server instance that the server's installer registers.
std::string RegisteredServerFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServerInstancesKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return {};
    char buffer[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD size = MAX_PATH;
    const LONG result =
        RegQueryValueExA(key, kServerInstanceValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    return std::string(buffer, strnlen(buffer, MAX_PATH));
}

// Whether the engine of the local protocol is beside a library: plugins\engine12.dll for a
// Firebird 3 server, engine13.dll for later ones.
bool HasLocalEngine(const std::string& libraryFolder) {
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(InFolder(InFolder(libraryFolder, "plugins"), "engine*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

// GetProcAddress gives a generic function pointer; each entry gets the type of its slot.
template <typename Entry> bool Bind(HMODULE library, const char* name, Entry& entry) {
    const FARPROC address = GetProcAddress(library, name);
    if (address == nullptr) return false;
    entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(address));
    return true;
}

// The first entry point the library lacks, or nullptr when it has them all.
const char* BindAll(HMODULE library, fb::ClientApi& api) {
    struct Slot {
        const char* name;
        bool (*bind)(HMODULE, fb::ClientApi&);
    };
#define VELTOR_SLOT(field, name)                                                                                       \
    {                                                                                                                  \
        name, [](HMODULE l, fb::ClientApi& a) { return Bind(l, name, a.field); }                                       \
    }
    static constexpr Slot kSlots[] = {
        VELTOR_SLOT(attach_database, "isc_attach_database"),
        VELTOR_SLOT(detach_database, "isc_detach_database"),
        VELTOR_SLOT(database_info, "isc_database_info"),
        VELTOR_SLOT(start_multiple, "isc_start_multiple"),
        VELTOR_SLOT(commit_transaction, "isc_commit_transaction"),
        VELTOR_SLOT(rollback_transaction, "isc_rollback_transaction"),
        VELTOR_SLOT(dsql_allocate_statement, "isc_dsql_allocate_statement"),
        VELTOR_SLOT(dsql_prepare, "isc_dsql_prepare"),
        VELTOR_SLOT(dsql_describe, "isc_dsql_describe"),
        VELTOR_SLOT(dsql_execute, "isc_dsql_execute"),
        VELTOR_SLOT(dsql_fetch, "isc_dsql_fetch"),
        VELTOR_SLOT(dsql_free_statement, "isc_dsql_free_statement"),
        VELTOR_SLOT(dsql_sql_info, "isc_dsql_sql_info"),
        VELTOR_SLOT(service_attach, "isc_service_attach"),
        VELTOR_SLOT(service_detach, "isc_service_detach"),
        VELTOR_SLOT(service_start, "isc_service_start"),
        VELTOR_SLOT(service_query, "isc_service_query"),
        VELTOR_SLOT(sqlcode, "isc_sqlcode"),
        VELTOR_SLOT(interpret, "fb_interpret"),
        VELTOR_SLOT(shutdown, "fb_shutdown"),
    };
#undef VELTOR_SLOT
    static_assert(std::size(kSlots) * sizeof(void*) == offsetof(fb::ClientApi, fileNames),
                  "every entry point has its slot");
    for (const Slot& slot : kSlots) {
        if (!slot.bind(library, api)) return slot.name;
    }
    return nullptr;
}

} // namespace

std::string ProgramFolder() {
    const std::string path = ProgramPath();
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<ClientFolder> ClientLibraryFolders() {
    std::vector<ClientFolder> folders;
    // A server's root holds fbclient.dll; servers before Firebird 3 kept it in bin\.
    const auto addServer = [&folders](const std::string& root, const char* origin) {
        if (root.empty()) return;
        folders.push_back({root, origin});
        folders.push_back({InFolder(root, "bin"), origin});
    };
    addServer(EnvironmentValue("FIREBIRD"), "variable FIREBIRD");
    addServer(RegisteredServerFolder(), "servidor registrado");
    if (std::string program = ProgramFolder(); !program.empty())
        folders.push_back({std::move(program), "carpeta del programa"});
    for (std::string& folder : PathFolders())
        folders.push_back({std::move(folder), "PATH"});
    return folders;
}

std::optional<LoadedClient> LoadClientFrom(const std::vector<ClientFolder>& folders, std::string& whyMissing) {
    for (const ClientFolder& candidate : folders) {
        const std::string path = InFolder(candidate.folder, kLibraryName);
        if (!IsFile(path)) continue;
        // The library's own DLLs are looked for beside it first.
        const HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (library == nullptr) {
            const DWORD code = GetLastError();
            whyMissing = "No se pudo cargar la biblioteca cliente de Firebird " + Utf8FromAnsi(path) + ": " +
                         SystemMessage(code) + " (código " + std::to_string(code) + ")";
            return std::nullopt;
        }
        LoadedClient loaded{};
        if (const char* missing = BindAll(library, loaded.api)) {
            whyMissing = "La biblioteca cliente de Firebird " + Utf8FromAnsi(path) + " no tiene la función " + missing;
            FreeLibrary(library);
            return std::nullopt;
        }
        whyMissing.clear();
        loaded.facts.loadedFrom = Utf8FromAnsi(path) + (candidate.origin.empty() ? "" : " (" + candidate.origin + ")");
        if (!HasLocalEngine(candidate.folder))
            loaded.facts.noLocalEngine = "la biblioteca cliente " + Utf8FromAnsi(path) +
                                         " no tiene a su lado el motor de Firebird (plugins\\engine*.dll) que "
                                         "necesita la restauración local: instale el servidor Firebird en esta máquina";
        return loaded;
    }
    whyMissing = std::string("No se encontró la biblioteca cliente de Firebird ") + kLibraryName +
                 " del servidor instalado (variable FIREBIRD, registro) ni en la carpeta del programa ni en las "
                 "carpetas del PATH";
    return std::nullopt;
}

std::optional<fb::ClientApi> LoadClientApiFrom(const std::vector<std::string>& folders, std::string& whyMissing) {
    std::vector<ClientFolder> candidates;
    for (const std::string& folder : folders)
        candidates.push_back({folder, ""});
    std::optional<LoadedClient> loaded = LoadClientFrom(candidates, whyMissing);
    if (!loaded) return std::nullopt;
    return loaded->api;
}

} // namespace veltor::win32

namespace veltor::fb {
namespace {

struct Loaded {
    std::optional<win32::LoadedClient> client;
    std::string why;
};

// Looked for once; the table and the library live until the process ends.
const Loaded& TheLoadedClient() {
    static const Loaded loaded = [] {
        Loaded result;
        result.client = win32::LoadClientFrom(win32::ClientLibraryFolders(), result.why);
        return result;
    }();
    return loaded;
}

} // namespace

const ClientApi* LoadClientApi(const char** whyMissing) {
    const Loaded& loaded = TheLoadedClient();
    if (whyMissing) *whyMissing = loaded.client ? nullptr : loaded.why.c_str();
    return loaded.client ? &loaded.client->api : nullptr;
}

const ClientLibraryFacts& LoadedClientLibrary() {
    const Loaded& loaded = TheLoadedClient();
    static const ClientLibraryFacts none{{}, loaded.why, {}};
    return loaded.client ? loaded.client->facts : none;
}

} // namespace veltor::fb
