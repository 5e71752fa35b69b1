// Settings and records of the host platform layer, for the tests and for
// velkar-run. Everything here is ordinary C++: only the stub's own code keeps
// to the fixed-buffer conventions.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

struct HostMessageBox {
    WindowHandle owner;
    std::string text;
    std::string caption;
    unsigned style;
};

// Answers a message box; the default takes answers queued by
// hostQueueAnswers and falls back to the first button (IDOK or IDYES).
using HostBoxAnswerer = std::function<int(const HostMessageBox&)>;
// Called by osExit; the default ends the process. Tests throw HostExit.
using HostExitHandler = std::function<void(int)>;

struct HostExit {
    int status;
};

// Back to the defaults: single-byte code page, platform 2 (Windows NT), no
// environment, no folders, empty registry, no recorded boxes, exits end the
// process.
void hostReset();

void hostSetCodePage(int codePage);  // 0 single-byte, 932 Japanese
void hostSetPlatformId(int id);
void hostSetModulePath(const std::string& path);
void hostSetEnv(const std::string& name, const std::string& value);
void hostUnsetEnv(const std::string& name);
// An empty text makes the corresponding query fail.
void hostSetWindowsDirectory(const std::string& path);
void hostSetSystemDirectory(const std::string& path);
void hostSetCurrentDirectory(const std::string& path);
void hostSetRegistryString(const std::string& keyPath, const std::string& valueName,
                           const std::string& data);
// Lets the next n allocations succeed and the ones after fail; -1 for never.
void hostFailAllocationsAfter(int n);

void hostQueueAnswers(const std::vector<int>& answers);
void hostSetBoxAnswerer(HostBoxAnswerer answerer);
const std::vector<HostMessageBox>& hostMessageBoxes();

void hostSetExitHandler(HostExitHandler handler);

// The byte counts asked of osRead, in order.
const std::vector<uint32_t>& hostReadRequests();

// Windows paths on the host: '\' becomes '/'.
std::string hostPath(const char* path);
