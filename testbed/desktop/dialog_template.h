// Dialog templates read from a module's compiled resources, the same bytes that the
// Windows DLL carries: a .res file (as windres writes it) holding extended templates.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The ELF section of a Linux module that holds its compiled resources.
inline const char RESOURCE_SECTION[] = ".rsrc";

struct DialogItem {
    std::uint32_t helpId = 0, extendedStyle = 0, style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::int32_t id = 0;
    std::uint16_t classOrdinal = 0; // 0x0082 for STATIC; 0 when the class is named
    std::string className;
    std::string text;
};

struct DialogTemplate {
    std::uint16_t language = 0;
    std::uint16_t version = 0, signature = 0;
    std::uint32_t helpId = 0, extendedStyle = 0, style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool hasMenu = false, hasClass = false;
    std::string title;
    std::uint16_t pointSize = 0, weight = 0;
    std::uint8_t italic = 0, charset = 0;
    std::string typeface;
    std::vector<DialogItem> items;
};

// Finds dialog resource `id` in the bytes of a .res file and decodes it; nullopt when
// it is missing or malformed.
std::optional<DialogTemplate> ParseDialogResource(const std::vector<unsigned char>& res, int id);
// The same, from the resources embedded in the loaded module with this instance handle.
std::optional<DialogTemplate> LoadDialogTemplate(InstanceHandle instance, int id);

} // namespace sim
