#pragma once

// The image document template: opens image files into new MDI windows of
// the main window, each a child frame around an image view, and finds the
// window that already shows a path (compared without regard to case). It
// owns the documents; closing a window deletes its document.

#include <memory>
#include <vector>

class QMdiArea;
class CImageDoc;
class CChildFrame;

class CMultiDocTemplate {
public:
    explicit CMultiDocTemplate(QMdiArea* area);
    ~CMultiDocTemplate();
    CMultiDocTemplate(const CMultiDocTemplate&) = delete;
    CMultiDocTemplate& operator=(const CMultiDocTemplate&) = delete;

    // Activates the window of an open document of that path, or opens the
    // file in a new window. Null when the file cannot be read (the document
    // has reported why).
    CImageDoc* OpenDocumentFile(const char* path);
    // A new window with a document without an image (the live preview).
    CImageDoc* OpenNewDocument();

    // The open documents, oldest first.
    std::vector<CImageDoc*> GetDocuments() const;
    CImageDoc* FindDocument(const char* path) const;
    CChildFrame* GetFrame(const CImageDoc* document) const;
    // Closes the document's window (and so the document).
    void CloseDocument(CImageDoc* document);
    // Asks every view for a new drawing.
    void InvalidateAllViews();

private:
    struct Entry;
    CImageDoc* AddDocument(std::unique_ptr<CImageDoc> document);
    void DocumentFrameDestroyed(CImageDoc* document);

    QMdiArea* m_area;
    std::vector<std::unique_ptr<Entry>> m_entries;
};

// Makes the template the application's image document template: image
// files open through it (also for reference images), the render thread
// draws with the image renderer, and the render thread starts.
void InstallImageDocTemplate(CMultiDocTemplate* docTemplate);
// Undoes InstallImageDocTemplate and ends the render thread, before the
// template and the main window go away.
void RemoveImageDocTemplate();

// InstallImageDocTemplate for a scope; removal on every way out.
class ScopedImageDocTemplate {
public:
    explicit ScopedImageDocTemplate(CMultiDocTemplate* docTemplate) { InstallImageDocTemplate(docTemplate); }
    ~ScopedImageDocTemplate() { RemoveImageDocTemplate(); }
    ScopedImageDocTemplate(const ScopedImageDocTemplate&) = delete;
    ScopedImageDocTemplate& operator=(const ScopedImageDocTemplate&) = delete;
};
