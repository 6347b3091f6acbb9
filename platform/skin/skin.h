// The skin library: a small shared library that the program links at load time. It dresses the
// program's dialogs in a skin kept among the program's resources (a Qt style sheet). Four entry
// points, called at start-up and at exit; their results may be ignored.
#pragma once

#if defined(FWSKIN_BUILDING)
#define FWSKIN_API extern "C" __attribute__((visibility("default")))
#else
#define FWSKIN_API extern "C"
#endif

// Prepares the library for this process. The application must exist already. appName names
// the caller; the two reserved arguments must be null. Returns 1, or 0 when there is no
// application.
FWSKIN_API int fwskin_Init(void* instance, const char* appName, const void* reserved1,
                           const void* reserved2);

// Loads the skin from the program's resource of that name and type (found, as all of the
// program's resources, under ":/res/<TYPE>/<NAME>"). Returns 1, or 0 when the library is not
// initialised or the resource is missing or empty; a failed load leaves the previous skin.
FWSKIN_API int fwskin_LoadSkinFromResource(void* instance, const char* name, const char* type);

// Applies the loaded skin to every window of the given kind from now on; the one kind is
// "Dialog". Returns 1, or 0 for another kind or when no skin is loaded.
FWSKIN_API int fwskin_SetWindowSkin(const char* windowKind);

// Shuts the library down: windows made afterwards are no longer skinned.
FWSKIN_API void fwskin_Exit();
