#include "sim/module_image.h"

#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <iterator>
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
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> image((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    if (image.size() < sizeof(ElfW(Ehdr))) {
        return {};
    }
    ElfW(Ehdr) header;
    std::memcpy(&header, image.data(), sizeof header);
    const std::size_t sectionsEnd =
        header.e_shoff + static_cast<std::size_t>(header.e_shnum) * sizeof(ElfW(Shdr));
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || sectionsEnd > image.size() ||
        header.e_shstrndx >= header.e_shnum) {
        return {};
    }
    auto sectionAt = [&](std::size_t index) {
        ElfW(Shdr) section;
        std::memcpy(&section, image.data() + header.e_shoff + index * sizeof section,
                    sizeof section);
        return section;
    };
    const ElfW(Shdr) names = sectionAt(header.e_shstrndx);
    for (std::size_t i = 0; i < header.e_shnum; ++i) {
        const ElfW(Shdr) section = sectionAt(i);
        const std::size_t nameAt = names.sh_offset + section.sh_name;
        if (nameAt + name.size() + 1 > image.size() ||
            std::memcmp(image.data() + nameAt, name.c_str(), name.size() + 1) != 0) {
            continue;
        }
        if (section.sh_offset + section.sh_size > image.size()) {
            return {};
        }
        return std::vector<unsigned char>(
            image.begin() + static_cast<long>(section.sh_offset),
            image.begin() + static_cast<long>(section.sh_offset + section.sh_size));
    }
    return {};
}

} // namespace sim
