// Orbiter's six functions as Orbiter declares them, in Orbiter's own types (STRICT handles),
// without windows.h. check_dll_imports.sh compiles this for the Microsoft ABI of each
// architecture and reads the decorated names the calls refer to: the names orbiter.exe exports.
struct HWND__;
struct HINSTANCE__;
typedef HWND__* HWND;
typedef HINSTANCE__* HINSTANCE;
typedef unsigned int UINT;
#if defined(_WIN64)
typedef __int64 INT_PTR;
typedef unsigned __int64 UINT_PTR;
typedef __int64 LONG_PTR;
#else
typedef int INT_PTR;
typedef unsigned int UINT_PTR;
typedef long LONG_PTR;
#endif
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef INT_PTR(__stdcall* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

__declspec(dllimport) const char* oapiGetCmdLine();
__declspec(dllimport) HWND
    oapiOpenDialog(HINSTANCE hDLLInst, int resourceId, DLGPROC msgProc, void* context);
__declspec(dllimport) void oapiCloseDialog(HWND hDlg);
__declspec(dllimport) INT_PTR oapiDefDialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
__declspec(dllimport) void InitLib(HINSTANCE hModule);
__declspec(dllimport) int Date2Int(char* date);

void CallEach() {
    char date[] = "Apr 25 2006";
    oapiGetCmdLine();
    oapiCloseDialog(oapiOpenDialog(nullptr, 0, nullptr, nullptr));
    oapiDefDialogProc(nullptr, 0, 0, 0);
    InitLib(nullptr);
    Date2Int(date);
}
