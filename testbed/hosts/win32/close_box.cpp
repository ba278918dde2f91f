#include "close_box.h"

namespace host {

namespace {

bool IsCloseBox(HWND window, LONG x, LONG y) {
    return SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE;
}

} // namespace

bool ClickCloseBox(HWND window) {
    RECT frame{};
    if (!GetWindowRect(window, &frame)) {
        return false;
    }
    // Along the caption's middle row, from the right edge: the close box is the rightmost
    // button of the caption.
    const LONG y =
        frame.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    LONG right = frame.right - 1;
    while (right > frame.left && !IsCloseBox(window, right, y)) {
        --right;
    }
    LONG left = right;
    while (left > frame.left && IsCloseBox(window, left - 1, y)) {
        --left;
    }
    if (right <= frame.left) {
        return false;
    }
    if (!SetCursorPos((left + right) / 2, y)) {
        return false;
    }
    INPUT clicks[2] = {};
    clicks[0].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].type = INPUT_MOUSE;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    return SendInput(2, clicks, sizeof clicks[0]) == 2;
}

} // namespace host
