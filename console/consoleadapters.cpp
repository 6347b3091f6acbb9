#include "console/consoleadapters.h"

#include <QComboBox>

#include "controls/histogramctrl.h"
#include "controls/pictureex.h"

int CComboAdapterList::AddString(win::LPCSTR text) {
    if (m_combo == nullptr) {
        return -1;
    }
    m_combo->addItem(QString::fromUtf8(text != nullptr ? text : ""));
    return m_combo->count() - 1;
}

int CComboAdapterList::SetCurSel(int index) {
    if (m_combo == nullptr) {
        return -1;
    }
    if (index < 0 || index >= m_combo->count()) {
        m_combo->setCurrentIndex(-1);
        return -1;
    }
    m_combo->setCurrentIndex(index);
    return index;
}

int CComboAdapterList::GetCurSel() const {
    return m_combo != nullptr ? m_combo->currentIndex() : -1;
}

void CHistogramSink::SetRange(int lower, int upper) {
    m_histogram.SetRange(lower, upper);
}

void CHistogramSink::AddSample(win::UINT in, win::UINT out) {
    m_histogram.AddSample(in, out);
}

bool CLevelPicture::LoadFromResource(win::WORD id, win::LPCSTR type) {
    return m_picture.LoadFromResource(id, type);
}

void CLevelPicture::ShowPicture() {
    m_picture.ShowPicture();
}
