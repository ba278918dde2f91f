#include "testbed/desktop/dialog_template.h"

#include "testbed/sim-platform/module_image.h"

namespace sim {

namespace {

constexpr std::uint16_t RT_DIALOG_TYPE = 5;

// Reads little-endian fields from a byte range, and remembers any read past its end.
class Reader {
public:
    Reader(const std::vector<unsigned char>& bytes, std::size_t at, std::size_t end)
        : bytes_(bytes), at_(at), end_(end) {}

    std::uint16_t Word() {
        if (at_ + 2 > end_) {
            ok_ = false;
            return 0;
        }
        const std::uint16_t value = static_cast<std::uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return value;
    }
    std::uint32_t Dword() {
        const std::uint32_t low = Word();
        return low | static_cast<std::uint32_t>(Word()) << 16;
    }
    std::uint8_t Byte() {
        if (at_ + 1 > end_) {
            ok_ = false;
            return 0;
        }
        return bytes_[at_++];
    }
    int Short() { return static_cast<std::int16_t>(Word()); }

    // A NUL-terminated UTF-16 string; the templates hold ASCII text only.
    std::string String() {
        std::string text;
        for (std::uint16_t unit = Word(); ok_ && unit != 0; unit = Word()) {
            text += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
        return text;
    }
    // sz_Or_Ord: 0 for none, 0xFFFF and an ordinal, or a string.
    void NameOrOrdinal(std::uint16_t& ordinal, std::string& name) {
        const std::uint16_t first = Word();
        if (first == 0xFFFF) {
            ordinal = Word();
        } else if (first != 0) {
            at_ -= 2;
            name = String();
        }
    }
    void AlignTo(std::size_t boundary) { at_ = (at_ + boundary - 1) / boundary * boundary; }
    std::size_t At() const { return at_; }
    bool Ok() const { return ok_; }

private:
    const std::vector<unsigned char>& bytes_;
    std::size_t at_;
    std::size_t end_;
    bool ok_ = true;
};

std::optional<DialogTemplate> DecodeTemplate(const std::vector<unsigned char>& bytes,
                                             std::size_t at, std::size_t end) {
    Reader read(bytes, at, end);
    DialogTemplate layout;
    layout.version = read.Word();
    layout.signature = read.Word();
    if (layout.version != 1 || layout.signature != 0xFFFF) {
        return std::nullopt; // only extended templates are used
    }
    layout.helpId = read.Dword();
    layout.extendedStyle = read.Dword();
    layout.style = read.Dword();
    const std::uint16_t itemCount = read.Word();
    layout.x = read.Short();
    layout.y = read.Short();
    layout.width = read.Short();
    layout.height = read.Short();
    std::uint16_t ordinal = 0;
    std::string name;
    read.NameOrOrdinal(ordinal, name);
    layout.hasMenu = ordinal != 0 || !name.empty();
    ordinal = 0;
    name.clear();
    read.NameOrOrdinal(ordinal, name);
    layout.hasClass = ordinal != 0 || !name.empty();
    layout.title = read.String();
    constexpr std::uint32_t DS_SETFONT = 0x40;
    if (layout.style & DS_SETFONT) {
        layout.pointSize = read.Word();
        layout.weight = read.Word();
        layout.italic = read.Byte();
        layout.charset = read.Byte();
        layout.typeface = read.String();
    }
    for (std::uint16_t i = 0; i < itemCount && read.Ok(); ++i) {
        read.AlignTo(4);
        DialogItem item;
        item.helpId = read.Dword();
        item.extendedStyle = read.Dword();
        item.style = read.Dword();
        item.x = read.Short();
        item.y = read.Short();
        item.width = read.Short();
        item.height = read.Short();
        item.id = static_cast<std::int32_t>(read.Dword());
        read.NameOrOrdinal(item.classOrdinal, item.className);
        std::uint16_t textOrdinal = 0;
        read.NameOrOrdinal(textOrdinal, item.text);
        const std::uint16_t extraBytes = read.Word();
        for (std::uint16_t skip = 0; skip < extraBytes; ++skip) {
            read.Byte();
        }
        layout.items.push_back(item);
    }
    if (!read.Ok()) {
        return std::nullopt;
    }
    return layout;
}

} // namespace

std::optional<DialogTemplate> ParseDialogResource(const std::vector<unsigned char>& res, int id) {
    // A .res file is a run of entries: DataSize, HeaderSize, TYPE, NAME, then fixed fields,
    // the data, and padding to a DWORD boundary.
    std::size_t at = 0;
    while (at + 8 <= res.size()) {
        Reader header(res, at, res.size());
        const std::uint32_t dataSize = header.Dword();
        const std::uint32_t headerSize = header.Dword();
        std::uint16_t type = 0, name = 0;
        std::string typeName, nameText;
        header.NameOrOrdinal(type, typeName);
        header.NameOrOrdinal(name, nameText);
        header.AlignTo(4);
        header.Dword(); // DataVersion
        header.Word();  // MemoryFlags
        const std::uint16_t language = header.Word();
        const std::size_t dataAt = at + headerSize;
        if (!header.Ok() || headerSize < 8 || dataAt + dataSize > res.size()) {
            return std::nullopt;
        }
        if (type == RT_DIALOG_TYPE && typeName.empty() && nameText.empty() && name == id) {
            std::optional<DialogTemplate> layout = DecodeTemplate(res, dataAt, dataAt + dataSize);
            if (layout) {
                layout->language = language;
            }
            return layout;
        }
        at = (dataAt + dataSize + 3) / 4 * 4;
    }
    return std::nullopt;
}

std::optional<DialogTemplate> LoadDialogTemplate(InstanceHandle instance, int id) {
    return ParseDialogResource(ReadModuleSection(instance, RESOURCE_SECTION), id);
}

} // namespace sim
