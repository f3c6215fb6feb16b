#include "document/DocView.h"

#include <algorithm>

CView::~CView() {
    if (m_pDocument != nullptr)
        m_pDocument->RemoveView(this);
}

CDocument::~CDocument() {
    for (CView* view : m_views)
        view->m_pDocument = nullptr;
}

bool CDocument::OnNewDocument() {
    m_bModified = false;
    m_strTitle.clear();
    return true;
}

void CDocument::AddView(CView* view) {
    if (view == nullptr || view->m_pDocument == this)
        return;
    if (view->m_pDocument != nullptr)
        view->m_pDocument->RemoveView(view);
    m_views.push_back(view);
    view->m_pDocument = this;
}

void CDocument::RemoveView(CView* view) {
    const auto it = std::find(m_views.begin(), m_views.end(), view);
    if (it == m_views.end())
        return;
    m_views.erase(it);
    view->m_pDocument = nullptr;
}

void CDocument::UpdateAllViews(CView* sender, long hint) {
    // A view may add or remove views while it updates: work on a copy.
    const std::vector<CView*> views = m_views;
    for (CView* view : views)
        if (view != sender && std::find(m_views.begin(), m_views.end(), view) != m_views.end())
            view->OnUpdate(sender, hint);
}
