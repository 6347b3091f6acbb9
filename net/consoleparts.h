// What the measurement code needs of the console and its controls. The console implements
// these over its widgets; the tests implement them with recorders.
#pragma once

#include "platform/wintypes.h"

// The adapter list (combo box 1028): lines in the order they were added, at most one selected.
class IAdapterList {
public:
    virtual ~IAdapterList() = default;
    // Appends a line at the end (the list is not sorted) and returns its position.
    virtual int AddString(win::LPCSTR text) = 0;
    // Selects a line; a negative position or one beyond the list leaves no line selected.
    // Returns the position selected, or -1 when none is.
    virtual int SetCurSel(int index) = 0;
    // The selected line, or -1 when none is.
    virtual int GetCurSel() const = 0;
};

// The histogram the meter feeds (CHistogramCtrl has these two operations).
class IHistogramSink {
public:
    virtual ~IHistogramSink() = default;
    // The values that the histogram's bottom and top stand for.
    virtual void SetRange(int lower, int upper) = 0;
    // Queues one receive and one send value.
    virtual void AddSample(win::UINT in, win::UINT out) = 0;
};

// The console's animated picture (control 1037; CPictureEx has these two operations).
class ILevelPicture {
public:
    virtual ~ILevelPicture() = default;
    // Loads the picture resource of that number and type ("GIF").
    virtual bool LoadFromResource(win::WORD id, win::LPCSTR type) = 0;
    // Shows the picture last loaded.
    virtual void ShowPicture() = 0;
};

// Services of the console dialog itself.
class IConsoleServices {
public:
    virtual ~IConsoleServices() = default;
    // The application's message box with an OK button; returns when it is closed.
    virtual void MessageBox(win::LPCSTR text) = 0;
    // Ends the console's modal run with this result (IDOK is 1).
    virtual void EndDialog(int result) = 0;
    // Copies the bound texts to the controls (false) or from them (true).
    virtual void UpdateData(bool saveAndValidate) = 0;
};
