// Settings and records of the host platform layer, for the tests and for
// velkar-run; the tests' fault injection is in host_faults.h. Everything here is ordinary C++: only the stub's own code
// keeps to the fixed-buffer conventions.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/windows_names.h"
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
// Back to the defaults: single-byte code page, platform 2 (Windows NT), no
// environment, no folders, empty registry, no recorded boxes.
void hostReset();

// The ANSI code page: 932, 936, 949 and 950 have double-byte characters,
// any other is single-byte.
void hostSetCodePage(int codePage);
int hostCodePage();
void hostSetPlatformId(int id);
void hostSetModulePath(const std::string& path);
void hostSetEnv(const std::string& name, const std::string& value);
void hostUnsetEnv(const std::string& name);
// An empty text makes the corresponding query fail.
void hostSetWindowsDirectory(const std::string& path);
void hostSetSystemDirectory(const std::string& path);
void hostSetCurrentDirectory(const std::string& path);
void hostSetRegistryString(const std::string& keyPath, const std::string& valueName, const std::string& data);

void hostQueueAnswers(const std::vector<int>& answers);
void hostSetBoxAnswerer(HostBoxAnswerer answerer);
const std::vector<HostMessageBox>& hostMessageBoxes();

// The byte counts asked of osRead, in order.
const std::vector<uint32_t>& hostReadRequests();

// The maximum component length that every volume reports (255 by default),
// and the root last asked about ("" for the current volume).
void hostSetMaxComponentLength(uint32_t length);
const std::string& hostVolumeRootAsked();

// The times last handed to osSetFileTimes; a null time stays all zero.
struct HostFileTimes {
    FileTime creation;
    FileTime lastAccess;
    FileTime lastWrite;
};
const HostFileTimes& hostLastFileTimes();

// Confinement: with a handler, osOutputPathAllowed refuses every output path
// that leads outside the destination, after '.' and '..' and any symbolic
// link already on the way are resolved, and hands the path to the handler.
// An empty handler allows every path again.
void hostConfineOutput(std::function<void(const std::string&)> onRefused);
// With a handler, osOutputPathAllowed also refuses an output path whose
// member part has a name that no Windows file system holds
// (windowsNameFault) and hands the path and the fault to the handler.
void hostRefuseUnsafeNames(std::function<void(const std::string&, NameFault)> onUnsafe);
// The errno of the last output file that could not be created.
int hostLastCreateError();
// Bytes written to output files (pretended ones included).
uint64_t hostBytesWritten();
// A read of the program's own file came up short at the end of the file,
// other than on the single zero byte that may end an archive: the archive
// ended without its end marker.
bool hostInputEndedEarly();

// Output that goes nowhere: files and directories are only pretended, so a
// whole extract pass decodes and checks every member without writing.
void hostSetDiscardOutput(bool discard);
// Called with each output path once its member's file has taken that name.
void hostSetOutputObserver(std::function<void(const char*)> observer);
// Called with each output path whose file stays as it was, and why.
void hostSetKeptObserver(std::function<void(const char*, KeptFile)> observer);
// For velkar-run: SIGINT, SIGTERM and SIGHUP remove the temporary file being
// written before the process ends as the signal would end it.
void hostRemoveTempFileOnSignals();

// The dialog as a model: caption and, per control id, text, enabled state,
// check mark and text limit; the focus, the window's place on a screen of
// 1024 x 768 (a 400 x 200 window at 0, 0 to begin with), minimising and the
// icon painted. The driver is asked for the next command whenever nothing
// is posted and no timer is running; by default it presses OK once, then
// Cancel. The pump handler runs at every osPumpMessages.
void hostSetDialogDriver(std::function<int(WindowHandle)> driver);
void hostSetPumpHandler(std::function<void(WindowHandle)> handler);
// Runs once the dialog has initialised itself, before its first event.
void hostSetDialogOpened(std::function<void(WindowHandle)> handler);
void hostSendCommand(WindowHandle dialog, int id);
// Any event, as a message sent to the dialog while it runs.
void hostSendDialogEvent(WindowHandle dialog, int event, uintptr_t value);
const std::string& hostDialogCaption();
std::string hostDialogItemText(int id);
const std::vector<std::string>& hostDialogItemHistory(int id);
bool hostDialogItemEnabled(int id);
bool hostDialogItemChecked(int id);
uint32_t hostDialogItemLimit(int id);
int hostDialogFocus();
void hostSetScreen(int width, int height, WindowRect window);
WindowRect hostDialogRect();
void hostSetMinimised(bool minimised);
int hostIconPaints();
// The icon handle that osLoadDialogIcon hands out.
IconHandle hostProgramIcon();

// The directory chooser's answer: the full path that the common dialog
// returns and the offset of its file name part (-1: after the last '\'),
// or no path for a Cancel. A confirmed choice moves the current directory
// to the chosen one, as the common dialog does. Each call is recorded.
struct HostChooserCall {
    WindowHandle owner;
    std::string templateName;
    std::string title;
    std::string initialName;
    uint32_t capacity;
};
void hostSetChooserAnswer(const std::string& path, int nameOffset = -1);
const std::vector<HostChooserCall>& hostChooserCalls();
void hostResetDialog();

// The settings broadcasts and shell starts asked for; nothing is started.
struct HostShellStart {
    std::string file;
    std::string parameters;  // "(none)" when none were given
    std::string directory;
};
int hostBroadcastCount();
const std::vector<HostShellStart>& hostShellStarts();

// The installer actions, recorded in the order they were asked for and
// never carried out: registry values under HKEY_CLASSES_ROOT (key path,
// value name, text), profile strings (section, key, text), programs started
// (command line), and the DDE conversations' messages (initiate: application
// and topic; execute: the commands; terminate). Each execute reached a
// server; an initiate that none answered is recorded all the same.
enum HostActionKind {
    HOST_CLASS_VALUE,
    HOST_PROFILE_STRING,
    HOST_PROGRAM_START,
    HOST_DDE_INITIATE,
    HOST_DDE_EXECUTE,
    HOST_DDE_TERMINATE
};
struct HostAction {
    HostActionKind kind;
    std::string key;
    std::string name;
    std::string text;
};
const std::vector<HostAction>& hostInstallerActions();

// The pretended Program Manager: whether its window class exists, whether
// a server answers the initiate, how many acknowledgments it posts for an
// execute (0 for a server that never replies), whether the execute cannot
// be sent, and whether its replies come late: only once the next
// conversation has sent its execute. By default a server is there and
// answers each once, at once.
struct HostDdeServer {
    bool windowExists = true;
    bool answersInitiate = true;
    int executeAcks = 1;
    bool executeFails = false;
    bool repliesLate = false;
};
void hostSetDdeServer(const HostDdeServer& server);
// The server's window for the latest conversation: a new one for each.
WindowHandle hostDdeServerWindow();
// Milliseconds on the host's clock, which moves on one with each look.
uint32_t hostClock();
// For the dialog model's pump: hands the posted acknowledgments to the dialog.
void hostDeliverDdeAcks(WindowHandle dialog);
void hostResetInstaller();

// Windows paths on the host: '\' becomes '/', except a trail byte.
std::string hostPath(const char* path);

// Names in UTF-8 outside the core, as Linux tools expect (velkar-run): with
// this on, hostPath turns every name from the code page into UTF-8. Off by
// default, so that the tests see the core's own bytes on disk.
void hostSetUtf8Names(bool on);
// Text in the code page as UTF-8. Whatever is no character of the code page
// becomes U+FFFD, a lead byte together with its trail byte as the walk sees
// them, so no trail byte turns into a separator of its own.
std::string hostToUtf8(const std::string& text);
// UTF-8 text in the code page; false when it holds a character the code
// page lacks.
bool hostFromUtf8(const std::string& text, std::string* out);
