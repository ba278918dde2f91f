#include "copy_trace.h"

#include "testbed/orbiter-model/trace_lines.h"
#include "trace.h"

#include <cstring>
#include <string>

namespace host {

namespace {

BOOL WINAPI TracingCopyFileA(LPCSTR source, LPCSTR destination, BOOL failIfExists) {
    const BOOL copied = CopyFileA(source, destination, failIfExists);
    const DWORD error = GetLastError();
    Trace(model::CopyLine(source != nullptr ? source : "",
                          destination != nullptr ? destination : "", copied != FALSE));
    SetLastError(error); // the module sees the copy's own last-error value
    return copied;
}

template <typename T> T* At(HMODULE module, DWORD offset) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

} // namespace

bool TraceCopiesOf(HMODULE module) {
    const auto* dos = At<IMAGE_DOS_HEADER>(module, 0);
    const auto* nt = At<IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return false;
    }
    for (auto* library = At<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress);
         library->Name != 0; ++library) {
        if (_stricmp(At<char>(module, library->Name), "KERNEL32.dll") != 0 ||
            library->OriginalFirstThunk == 0) {
            continue;
        }
        auto* name = At<IMAGE_THUNK_DATA>(module, library->OriginalFirstThunk);
        auto* address = At<IMAGE_THUNK_DATA>(module, library->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++address) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(name->u1.AddressOfData));
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "CopyFileA") != 0) {
                continue;
            }
            DWORD before = 0;
            VirtualProtect(&address->u1.Function, sizeof address->u1.Function, PAGE_READWRITE,
                           &before);
            address->u1.Function = reinterpret_cast<ULONG_PTR>(&TracingCopyFileA);
            VirtualProtect(&address->u1.Function, sizeof address->u1.Function, before, &before);
            return true;
        }
    }
    return false;
}

} // namespace host
