// The command that queues a line for the capture log's header.

#include "script/ArgumentReaders.h"
#include "script/BuiltInHandlers.h"
#include "app/ImageCaptureLogHeader.h"
#include "script/Script.h"

bool Script::SaveTextToImageCaptureLogHeader(const char* arguments, std::vector<Variable>& variables,
                                             bool check_only, CString& error)
{
    const char* cursor = arguments;
    if (!OpenArgumentList(cursor, error))
        return false;
    Tovanix::String text;
    if (!ReadStringParameter(1, cursor, text, error, &variables, nullptr))
        return false;
    // The reader steps over a "," to a next parameter; this command takes one only.
    const char* before = cursor;
    while (before > arguments && IsBlank(before[-1]))
        --before;
    if (*cursor != ')' || (before > arguments && before[-1] == ',')) {
        error = "Missing ) after string parameter.";
        return false;
    }
    if (!check_only)
        QueueImageCaptureLogHeaderLine(text.c_str());
    return true;
}

void InstallCaptureLogHeaderCommands(BuiltInHandlerTable& table)
{
    table.Set(BuiltIn::kSaveTextToImageCaptureLogHeader, &Script::SaveTextToImageCaptureLogHeader);
}
