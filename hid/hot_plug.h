// Turns an interface path into a working phone (path record, device record,
// reader thread) and follows the phone as it is plugged in and out.
#pragma once

#include "platform/platform.h"

// Records the path for indicator writes, opens the device and starts the
// reader. While a reader exists only the path is replaced; the activation is
// carried out once that reader has ended, unless the device is removed first.
void ActivateTargetDevice(const WCHAR* path);

// WM_DEVICECHANGE: arrival activates the target, removal stops its reader.
void OnDeviceChange(WPARAM event, LPARAM header);

// kReaderEndedMessage: if the reader has finished, close its handle, release
// the device record and carry out an arrival seen meanwhile; otherwise nothing.
void OnReaderEnded();

// A reader runs, or has ended and its record is not yet taken back.
bool ReaderExists();

// True when the path names the phone's telephony collection.
bool MatchTargetPath(const WCHAR* path);
