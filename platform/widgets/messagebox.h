// The application's message box: a modal box over the active window, captioned with the
// executable's file name without its extension.
#pragma once

#include "platform/wintypes.h"

namespace win {

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONERROR = 0x00000010;
inline constexpr UINT MB_ICONWARNING = 0x00000030;
inline constexpr UINT MB_ICONINFORMATION = 0x00000040;
inline constexpr INT IDOK = 1;

// The caption of the application's message boxes.
const char* AppCaption();

}  // namespace win

// Shows text with an OK button and the icon the type asks for; returns IDOK.
int AfxMessageBox(win::LPCSTR text, win::UINT type = win::MB_OK);
