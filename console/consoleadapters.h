// The console's widgets as the measurement code sees them.
#pragma once

#include "net/consoleparts.h"

class QComboBox;
class CHistogramCtrl;
class CPictureEx;

// Combo box 1028, the adapter list.
class CComboAdapterList : public IAdapterList {
public:
    void Bind(QComboBox* combo) { m_combo = combo; }
    int AddString(win::LPCSTR text) override;
    int SetCurSel(int index) override;
    int GetCurSel() const override;

private:
    QComboBox* m_combo = nullptr;
};

class CHistogramSink : public IHistogramSink {
public:
    explicit CHistogramSink(CHistogramCtrl& histogram) : m_histogram(histogram) {}
    void SetRange(int lower, int upper) override;
    void AddSample(win::UINT in, win::UINT out) override;

private:
    CHistogramCtrl& m_histogram;
};

class CLevelPicture : public ILevelPicture {
public:
    explicit CLevelPicture(CPictureEx& picture) : m_picture(picture) {}
    bool LoadFromResource(win::WORD id, win::LPCSTR type) override;
    void ShowPicture() override;

private:
    CPictureEx& m_picture;
};
