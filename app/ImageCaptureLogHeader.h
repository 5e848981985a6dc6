#pragma once

// Lines that scripts put into the header of the capture log.
//
// The script command SaveTextToImageCaptureLogHeader queues a time-stamped
// line ("hh:mm:ss.mmm", a tab, the text); the capture-log writer and the stop
// of the experiment workflow take all queued lines at once. Both interpreter
// instances share the one queue. It is shared state of the capture, the main
// window and the scripts, so it lives here, below all of them.
//
// Every user waits at most 1000 ms for the queue's semaphore, which the first
// script run creates; before it exists nothing is queued and nothing is taken.

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/Sync.h"
#include "support/String.h"

// The queued lines, oldest first. Touch only while holding the semaphore.
extern std::vector<Tovanix::String> g_ImageCaptureLogHeaderLines;
// Guards the queue (binary, initially free); null until the first script run.
extern std::atomic<platform::Semaphore*> g_ImageCaptureLogHeaderSemaphore;

// Creates the semaphore when it does not exist yet; it then lasts as long as
// the program. Called by every script run before its check pass.
void CreateImageCaptureLogHeaderSemaphore();

// Queues "hh:mm:ss.mmm\t<text>" stamped with the local time. A line that
// cannot be queued within 1000 ms (or before the semaphore exists) is dropped.
void QueueImageCaptureLogHeaderLine(const char* text);

// Moves the queued lines into `lines` (replacing its contents, order kept)
// and empties the queue; with an empty queue `lines` is left as it was.
// Returns the number of entries in `lines`, or 0 (lines untouched, the queue
// kept for the next take) when the semaphore does not exist or cannot be
// taken within 1000 ms.
int TakeImageCaptureLogHeaderLines(std::vector<Tovanix::String>& lines);
