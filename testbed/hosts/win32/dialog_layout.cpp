#include "dialog_layout.h"

namespace host {

namespace {

std::string Size(LONG width, LONG height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// The DrawText flags that size a static control's text as the control paints it.
UINT StaticTextFormat(LONG style) {
    UINT format = DT_EXPANDTABS | DT_WORDBREAK;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER:
        format |= DT_CENTER;
        break;
    case SS_RIGHT:
        format |= DT_RIGHT;
        break;
    default:
        format |= DT_LEFT;
        break;
    }
    if ((style & SS_NOPREFIX) != 0) {
        format |= DT_NOPREFIX;
    }
    if ((style & SS_CENTERIMAGE) != 0) {
        // One line, centred vertically; the centring places the line but needs no room.
        format = (format & ~DT_WORDBREAK) | DT_SINGLELINE;
    }
    return format;
}

std::string FontLine(HDC dc) {
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc, LF_FACESIZE, face);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    const char* kind = (metrics.tmPitchAndFamily & TMPF_TRUETYPE) != 0 ? "truetype"
                       : (metrics.tmPitchAndFamily & TMPF_VECTOR) != 0 ? "vector"
                                                                       : "raster";
    return "font: \"" + std::string(face) + "\" " + std::to_string(metrics.tmHeight) + " px " +
           kind;
}

} // namespace

std::vector<std::string> MeasureDialogLayout(HWND dialog) {
    std::vector<std::string> lines;
    const HDC dc = GetDC(dialog);
    const HGDIOBJ before =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
    lines.push_back(FontLine(dc));
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") != 0) {
            continue;
        }
        char text[1024] = {};
        GetWindowTextA(child, text, sizeof text);
        RECT room{};
        GetClientRect(child, &room);
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)));
        // Laid out within the control's width, as the control paints it.
        RECT needed{0, 0, room.right, 0};
        DrawTextA(dc, text, -1, &needed,
                  StaticTextFormat(GetWindowLongA(child, GWL_STYLE)) | DT_CALCRECT);
        const LONG width = needed.right - needed.left;
        const LONG height = needed.bottom - needed.top;
        const bool fits = width <= room.right && height <= room.bottom;
        lines.push_back(std::string("fit: ") + (fits ? "ok " : "cut ") + Size(width, height) +
                        " in " + Size(room.right, room.bottom) + " \"" + text + "\"");
    }
    SelectObject(dc, before);
    ReleaseDC(dialog, dc);
    return lines;
}

} // namespace host
