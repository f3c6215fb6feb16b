// A small document/view base: a document with a title and a modified flag that knows its
// views and tells them when it changed. The front ends derive their views from CView.
#pragma once

#include <string>
#include <vector>

class CDocument;

class CView {
public:
    virtual ~CView();
    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;

    CDocument* GetDocument() const { return m_pDocument; }

    // The document changed: `sender` is the view that caused it (or null), `hint` 0.
    virtual void OnUpdate(CView* sender, long hint) = 0;
    // A command routed to the view; true when the view handled it.
    virtual bool OnCommand(unsigned id) { return (void)id, false; }

protected:
    CView() = default;

private:
    friend class CDocument;
    CDocument* m_pDocument = nullptr;
};

class CDocument {
public:
    virtual ~CDocument();
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    const std::string& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(const std::string& title) { m_strTitle = title; }

    virtual bool IsModified() const { return m_bModified; }
    virtual void SetModifiedFlag(bool modified = true) { m_bModified = modified; }

    // A fresh, empty document.
    [[nodiscard]] virtual bool OnNewDocument();
    // A path handed to the document (command line, a second instance).
    [[nodiscard]] virtual bool OnOpenDocument(const char* path) = 0;
    // The save point, called before the document is closed: true lets closing go on.
    virtual bool SaveModified() = 0;
    // A command routed to the document; true when the document handled it.
    virtual bool OnCommand(unsigned id) { return (void)id, false; }

    void AddView(CView* view);
    void RemoveView(CView* view);
    CView* FirstView() const { return m_views.empty() ? nullptr : m_views.front(); }
    // Calls OnUpdate of every view but `sender`.
    void UpdateAllViews(CView* sender, long hint = 0);

protected:
    CDocument() = default;

private:
    std::string m_strTitle;
    bool m_bModified = false;
    std::vector<CView*> m_views;
};
