#include "orbiter_files.h"

#include "testbed/hosts/core/convert_date.h"
#include "testbed/hosts/core/module_list.h"

#include <cstdio>
#include <vector>

namespace host {

namespace {

const char LOG_FILE[] = "Orbiter.log";
const char CFG_FILE[] = "Orbiter.cfg";

void AppendToLog(const std::string& line) {
    if (FILE* log = std::fopen(LOG_FILE, "a")) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fclose(log);
    }
}

} // namespace

void WriteStartFiles() {
    if (FILE* log = std::fopen(LOG_FILE, "w")) {
        std::fclose(log);
    }
    for (const auto& [name, text] :
         {std::pair<const char*, const char*>{"Device.dat", "device: the test host's window\n"},
          {"keymap.cfg", "; the test host's keyboard map\n"}}) {
        if (GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        if (FILE* file = std::fopen(name, "wb")) {
            std::fputs(text, file);
            std::fclose(file);
        }
    }
}

bool WriteLineInto(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fputs("a line the test host wrote\n", file) >= 0;
    return std::fclose(file) == 0 && written;
}

void LogLoadedModule(HMODULE module, int version) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    std::string name = path;
    name = name.substr(name.find_last_of("\\/") + 1);
    std::string build = "******";
    if (auto date = reinterpret_cast<const char*(__cdecl*)()>(
            reinterpret_cast<void*>(GetProcAddress(module, "ModuleDate")))) {
        char number[16];
        std::snprintf(number, sizeof number, "%06d", core::ConvertDate(date()));
        build = number;
    }
    std::string line = "Module " + name + " ";
    if (line.size() < 30) {
        line.append(30 - line.size(), '.');
    }
    char fields[64];
    std::snprintf(fields, sizeof fields, " [Build %s, API %06d]", build.c_str(), version);
    AppendToLog(line + fields);
}

void LogFailedModule(const std::string& path, DWORD code) {
    AppendToLog("Error: Failed loading module " + path + " (code " + std::to_string(code) + ")");
}

void RewriteOrbiterCfg() {
    const std::vector<std::string> lines = core::RewrittenOrbiterCfg(CFG_FILE);
    // Text mode: each "\n" becomes the CR LF that Windows programs write.
    FILE* out = std::fopen(CFG_FILE, "w");
    if (out == nullptr) {
        std::fprintf(stderr, "orbiter.exe: cannot rewrite %s\n", CFG_FILE);
        return;
    }
    for (const std::string& line : lines) {
        std::fprintf(out, "%s\n", line.c_str());
    }
    std::fclose(out);
}

} // namespace host
