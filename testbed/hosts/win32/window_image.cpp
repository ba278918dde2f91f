#include "window_image.h"

#include <cstdio>
#include <vector>

namespace host {

bool SaveWindowImage(HWND window, const std::string& path) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    RECT place{};
    GetWindowRect(window, &place);
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height; // bottom-up, as .bmp files store rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    const HBITMAP image = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &pixels, nullptr, 0);
    const HGDIOBJ before = SelectObject(memory, image);
    const bool copied = image != nullptr && BitBlt(memory, 0, 0, width, height, screen, place.left,
                                                   place.top, SRCCOPY) != FALSE;
    GdiFlush();
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42; // "BM"
    header.bfOffBits = sizeof header + sizeof format.bmiHeader;
    header.bfSize = header.bfOffBits + imageBytes;
    bool written = false;
    if (copied) {
        if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
            written = std::fwrite(&header, sizeof header, 1, file) == 1 &&
                      std::fwrite(&format.bmiHeader, sizeof format.bmiHeader, 1, file) == 1 &&
                      std::fwrite(pixels, imageBytes, 1, file) == 1;
            written = std::fclose(file) == 0 && written;
        }
    }
    SelectObject(memory, before);
    DeleteObject(image);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return written;
}

} // namespace host
