#include "imaging/ui/DocTemplate.h"

#include <algorithm>

#include <QMdiArea>
#include <QString>

#include "imaging/ImageDoc.h"
#include "imaging/ui/ChildFrame.h"
#include "imaging/ReferenceImage.h"
#include "imaging/RenderList.h"
#include "imaging/ui/ImageViewWidget.h"
#include "imaging/ui/RenderImage.h"

struct CMultiDocTemplate::Entry {
    std::unique_ptr<CImageDoc> document;
    CChildFrame* frame = nullptr;
};

CMultiDocTemplate::CMultiDocTemplate(QMdiArea* area) : m_area(area) {}

CMultiDocTemplate::~CMultiDocTemplate() {
    // Frames still open outlive the template only inside Qt's teardown;
    // they must not call back into it.
    for (const auto& entry : m_entries) {
        if (entry->frame) {
            entry->frame->SetDestroyedCallback(nullptr);
            delete entry->frame;
        }
    }
}

CImageDoc* CMultiDocTemplate::OpenDocumentFile(const char* path) {
    if (CImageDoc* open = FindDocument(path)) {
        if (CChildFrame* frame = GetFrame(open)) {
            m_area->setActiveSubWindow(frame);
        }
        return open;
    }
    auto document = std::make_unique<CImageDoc>();
    if (!document->OnOpenDocument(path)) {
        return nullptr;
    }
    document->SetPathName(path);
    return AddDocument(std::move(document));
}

CImageDoc* CMultiDocTemplate::OpenNewDocument() {
    auto document = std::make_unique<CImageDoc>();
    if (!document->OnNewDocument()) {
        return nullptr;
    }
    return AddDocument(std::move(document));
}

CImageDoc* CMultiDocTemplate::AddDocument(std::unique_ptr<CImageDoc> document) {
    auto entry = std::make_unique<Entry>();
    entry->document = std::move(document);
    CImageDoc* added = entry->document.get();

    auto* frame = new CChildFrame;
    auto* view = new ImageViewWidget(added);
    frame->SetView(view);
    frame->setWindowTitle(QString::fromLocal8Bit(added->GetTitle().GetString()));
    view->SetTitleCallback([frame, added]() {
        frame->setWindowTitle(QString::fromLocal8Bit(added->GetTitle().GetString()));
    });
    frame->SetDestroyedCallback([this, added]() { DocumentFrameDestroyed(added); });
    entry->frame = frame;
    m_entries.push_back(std::move(entry));

    m_area->addSubWindow(frame);
    frame->show();
    m_area->setActiveSubWindow(frame);
    return added;
}

void CMultiDocTemplate::DocumentFrameDestroyed(CImageDoc* document) {
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [document](const auto& entry) { return entry->document.get() == document; }),
                    m_entries.end());
}

std::vector<CImageDoc*> CMultiDocTemplate::GetDocuments() const {
    std::vector<CImageDoc*> documents;
    for (const auto& entry : m_entries) {
        documents.push_back(entry->document.get());
    }
    return documents;
}

CImageDoc* CMultiDocTemplate::FindDocument(const char* path) const {
    for (const auto& entry : m_entries) {
        const CString& open = entry->document->GetPathName();
        if (!open.IsEmpty() && open.CompareNoCase(path ? path : "") == 0) {
            return entry->document.get();
        }
    }
    return nullptr;
}

CChildFrame* CMultiDocTemplate::GetFrame(const CImageDoc* document) const {
    for (const auto& entry : m_entries) {
        if (entry->document.get() == document) {
            return entry->frame;
        }
    }
    return nullptr;
}

void CMultiDocTemplate::CloseDocument(CImageDoc* document) {
    if (CChildFrame* frame = GetFrame(document)) {
        frame->close();
    }
}

void CMultiDocTemplate::InvalidateAllViews() {
    for (const auto& entry : m_entries) {
        if (entry->frame && entry->frame->View()) {
            entry->frame->View()->Invalidate();
        }
    }
}

void InstallImageDocTemplate(CMultiDocTemplate* docTemplate) {
    SetRenderImageFunction(RenderRequestIntoPicture);
    SetImageDocumentOpener([docTemplate](const char* path) { return docTemplate->OpenDocumentFile(path); });
    theApp.m_pImageDocTemplate = docTemplate;
    theApp.SetImageViewInvalidator([docTemplate]() { docTemplate->InvalidateAllViews(); });
    StartImageRenderThread();
}

void RemoveImageDocTemplate() {
    StopImageRenderThread();
    theApp.SetImageViewInvalidator(nullptr);
    theApp.m_pImageDocTemplate = nullptr;
    SetImageDocumentOpener(nullptr);
}
