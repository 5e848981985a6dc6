#pragma once

// The document of one image window: one 16-bit single-channel image, read
// from a file or handed over frame by frame by the live view. The document
// never draws; its view turns the image into render requests.
//
// Errors: false and an error text that starts with the operation's name, or
// the open message "Problem trying to open image: <path>".
//
// Threads: SetMat is called by the live-view thread, everything else on the
// user-interface thread. The image pointer and its pixels are guarded by
// g_MatAccessLock (waits of at most 1000 ms).

#include <memory>
#include <mutex>
#include <vector>

#include "app/VelloraApp.h"
#include "platform/CString.h"
#include "platform/Sync.h"

namespace cv {
class Mat;
}
class CImageView;

// The one lock over the image of every image document; the application
// creates it at start-up (the same object as g_MatAccessSemaphore).
extern std::unique_ptr<platform::Semaphore>& g_MatAccessLock;

class CImageDoc {
public:
    CImageDoc();
    virtual ~CImageDoc();
    CImageDoc(const CImageDoc&) = delete;
    CImageDoc& operator=(const CImageDoc&) = delete;

    static CImageDoc* CreateObject() { return new CImageDoc; }

    // A new document without an image.
    virtual bool OnNewDocument();
    // Reads the file at its own depth. On failure the message goes to the
    // log and a message box, and the previous image stays.
    virtual bool OnOpenDocument(const char* path);

    // Hands over a frame. On success the document owns it and `image` is
    // null; a frame of the document's size and type is copied into the
    // document's matrix, so its buffer is reused. False when the lock is not
    // obtained (the caller keeps its frame) or the document has no view (the
    // frame is stored all the same).
    bool SetMat(cv::Mat*& image, CString& error);
    // Reads the file of the document's path again. On failure the document
    // has no image.
    bool ReloadFromFile(CString& error);

    // Path and title, as the document template sets them.
    const CString& GetPathName() const { return m_strPathName; }
    void SetPathName(const char* path);
    const CString& GetTitle() const { return m_strTitle; }
    void SetTitle(const char* title);

    // Views of the document, in the order they were added.
    void AddView(CImageView* view);
    void RemoveView(CImageView* view);
    CImageView* GetFirstView() const;
    int GetViewCount() const;

    cv::Mat* m_pImage = nullptr;  // owned
    bool m_bPreview = false;

private:
    CString m_strPathName;
    CString m_strTitle;
    mutable std::mutex m_viewsMutex;  // SetMat reaches the first view from the live-view thread
    std::vector<CImageView*> m_views;
};
