// The stamp list panel's behaviour, toolkit-free: it mirrors the registry row by row in an
// IListControl, shows the chosen row's stamp through the document, and removes the
// selected entry after a question. The GUI's docked bar and the command line both use it.
#pragma once

#include "document/IListControl.h"
#include "document/IStampDocument.h"
#include "list/IStampListPanel.h"

class CStampListPanel : public IStampListPanel {
public:
    explicit CStampListPanel(IListControl& control) : m_control(control) {}

    // The active document; null when there is none (then choosing or deleting does nothing).
    void SetDocument(IStampDocument* document) { m_pDocument = document; }

    int FillOnce(const CStampList& list) override;
    [[nodiscard]] int SelectRow(int index) override;
    int PutEntry(int index, const CStampListEntry& entry, bool select) override;
    [[nodiscard]] int DeleteSelected() override;

    // The list control reports that `row`'s state changed; `focused` when it gained the
    // focused state. A focused row is shown by the document at once, and its badge set to
    // the verdict the document reached.
    void OnItemChanged(int row, bool focused);

private:
    IListControl& m_control;
    IStampDocument* m_pDocument = nullptr;
    bool m_bFilled = false;
};
