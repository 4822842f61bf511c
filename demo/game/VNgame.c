/* VNgame.exe: a stand-in for the game client. On start it writes VNgame.started beside
   itself (UTF-8: the command line, then the working directory, one per line), then shows
   a small window captioned "VNgame" for a few seconds and exits. */
#include <windows.h>

#define VNGAME_SHOW_MS 4000
#define VNGAME_TIMER 1

static const wchar_t kCaption[] = L"VNgame";
static const wchar_t kGreeting[] = L"維諾斯 遊戲客戶端 (示範)";

static void AppendUtf8(HANDLE file, const wchar_t* text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  if (bytes <= 1) return;
  char* buffer = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)bytes);
  if (buffer == NULL) return;
  WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, bytes, NULL, NULL);
  DWORD written = 0;
  WriteFile(file, buffer, (DWORD)(bytes - 1), &written, NULL);
  HeapFree(GetProcessHeap(), 0, buffer);
}

static void WriteMarker(void) {
  wchar_t path[MAX_PATH + 32];
  DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wchar_t* slash = path + length;
  while (slash > path && slash[-1] != L'\\' && slash[-1] != L'/') --slash;
  lstrcpyW(slash, L"VNgame.started");

  HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  wchar_t directory[MAX_PATH];
  DWORD directory_length = GetCurrentDirectoryW(MAX_PATH, directory);
  if (directory_length == 0 || directory_length >= MAX_PATH) directory[0] = L'\0';
  AppendUtf8(file, GetCommandLineW());
  AppendUtf8(file, L"\r\n");
  AppendUtf8(file, directory);
  AppendUtf8(file, L"\r\n");
  CloseHandle(file);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      SetBkMode(dc, TRANSPARENT);
      DrawTextW(dc, kGreeting, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)previous;
  (void)command_line;
  WriteMarker();

  WNDCLASSW window_class = {0};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  window_class.lpszClassName = L"VNgameWindow";
  if (!RegisterClassW(&window_class)) return 1;

  HWND window = CreateWindowExW(0, window_class.lpszClassName, kCaption, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 360, 160, NULL, NULL, instance, NULL);
  if (window == NULL) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);
  SetTimer(window, VNGAME_TIMER, VNGAME_SHOW_MS, NULL);

  MSG message;
  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
