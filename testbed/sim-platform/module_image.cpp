#include "testbed/sim-platform/module_image.h"

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <link.h>

namespace sim {

namespace {

struct ImageSearch {
    const void* address;     // in: an address inside the object, or its base
    InstanceHandle instance; // out
    std::string path;        // out
};

int MatchImage(dl_phdr_info* info, std::size_t, void* data) {
    auto* search = static_cast<ImageSearch*>(data);
    const auto wanted = reinterpret_cast<ElfW(Addr)>(search->address);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) {
            continue;
        }
        const ElfW(Addr) start = info->dlpi_addr + segment.p_vaddr;
        if (wanted >= start && wanted < start + segment.p_memsz) {
            // The base is where the first loaded segment (the ELF header) lies.
            search->instance = reinterpret_cast<InstanceHandle>(info->dlpi_addr);
            for (int j = 0; j < info->dlpi_phnum; ++j) {
                if (info->dlpi_phdr[j].p_type == PT_LOAD) {
                    search->instance = reinterpret_cast<InstanceHandle>(
                        info->dlpi_addr + info->dlpi_phdr[j].p_vaddr - info->dlpi_phdr[j].p_offset);
                    break;
                }
            }
            // The main program has no name in the loader's list.
            search->path = info->dlpi_name[0] != '\0' ? info->dlpi_name : "/proc/self/exe";
            return 1;
        }
    }
    return 0;
}

ImageSearch Search(const void* address) {
    ImageSearch search{address, nullptr, ""};
    dl_iterate_phdr(MatchImage, &search);
    return search;
}

} // namespace

InstanceHandle InstanceContaining(const void* address) {
    return Search(address).instance;
}

std::string ModuleFilePath(InstanceHandle instance) {
    const ImageSearch search = Search(instance);
    return search.instance == instance ? search.path : std::string();
}

void* FindModuleExport(InstanceHandle instance, const char* name) {
    const std::string path = ModuleFilePath(instance);
    if (path.empty()) {
        return nullptr;
    }
    // A handle of our own on the already loaded object; RTLD_NOLOAD never loads it anew.
    void* handle =
        dlopen(path == "/proc/self/exe" ? nullptr : path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return nullptr;
    }
    void* symbol = dlsym(handle, name);
    dlclose(handle);
    // dlsym also searches the object's dependencies; only the object's own export counts.
    if (symbol != nullptr && InstanceContaining(symbol) != instance) {
        symbol = nullptr;
    }
    return symbol;
}

std::vector<unsigned char> ReadModuleSection(InstanceHandle instance, const std::string& name) {
    return ReadElfSection(ModuleFilePath(instance), name);
}

std::vector<unsigned char> ReadElfSection(const std::string& path, const std::string& name) {
    // Reads only what it needs: the header, the section table, the names and the section.
    std::ifstream file(path, std::ios::binary);
    auto readAt = [&file](std::uint64_t offset, void* into, std::size_t size) {
        file.seekg(static_cast<std::streamoff>(offset));
        return static_cast<bool>(file.read(static_cast<char*>(into), static_cast<long>(size)));
    };
    ElfW(Ehdr) header;
    if (!readAt(0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_shentsize != sizeof(ElfW(Shdr)) || header.e_shstrndx >= header.e_shnum) {
        return {};
    }
    std::vector<ElfW(Shdr)> sections(header.e_shnum);
    if (!readAt(header.e_shoff, sections.data(), sections.size() * sizeof(ElfW(Shdr)))) {
        return {};
    }
    const ElfW(Shdr)& names = sections[header.e_shstrndx];
    std::vector<char> nameTable(names.sh_size);
    if (!readAt(names.sh_offset, nameTable.data(), nameTable.size())) {
        return {};
    }
    for (const ElfW(Shdr) & section : sections) {
        if (section.sh_name >= nameTable.size() ||
            std::strncmp(nameTable.data() + section.sh_name, name.c_str(),
                         nameTable.size() - section.sh_name) != 0) {
            continue;
        }
        std::vector<unsigned char> bytes(section.sh_size);
        if (!readAt(section.sh_offset, bytes.data(), bytes.size())) {
            return {};
        }
        return bytes;
    }
    return {};
}

} // namespace sim
