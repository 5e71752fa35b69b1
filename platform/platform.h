// The few operating-system services the stub needs. The subsystems call only
// these; platform/win32 maps them onto the Windows API one to one, and
// platform/host implements them on POSIX with test doubles for velkar-run and
// the unit tests. Results follow the Windows calls they stand for.
#pragma once

#include <stdint.h>

typedef void* WindowHandle;

// One handle type serves the program's own file (_lopen) and the output files
// (CreateFileA); both use all ones as the invalid value.
typedef intptr_t FileHandle;
const FileHandle INVALID_FILE = -1;

struct FileTime {
    uint32_t low;
    uint32_t high;
};

struct SystemTime {
    uint16_t year;
    uint16_t month;
    uint16_t dayOfWeek;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

// Message box styles and answers keep their Windows values. Files under
// platform/win32 include <windows.h> first, which already defines them.
#ifndef MB_TASKMODAL
enum : unsigned {
    MB_OK = 0x0,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONHAND = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_TASKMODAL = 0x2000,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };
#endif

const int SEEK_FROM_START = 0;
const int SEEK_FROM_CURRENT = 1;
const int SEEK_FROM_END = 2;

// Process and memory.
int osPlatformId();                  // GetVersionExA: 0 on Win32s
void* osAllocZeroed(uint32_t size);  // LocalAlloc(LPTR); 0 on failure
void osFree(void* block);
uint32_t osModulePath(char* out, uint32_t size);  // GetModuleFileNameA

// The program's own file, read through the old handle calls.
FileHandle osOpenRead(const char* path);                        // _lopen(OF_READ)
int32_t osSeek(FileHandle file, int32_t offset, int origin);    // _llseek: new position or -1
int32_t osRead(FileHandle file, void* buffer, uint32_t count);  // _lread: count read or -1
void osClose(FileHandle file);                                  // _lclose

// Output files and directories.
FileHandle osCreateOutput(const char* path);  // CreateFileA: write, not shared, always new
int osWrite(FileHandle file, const void* data, uint32_t count, uint32_t* written);
int osCloseOutput(FileHandle file);  // CloseHandle
int osDeleteFile(const char* path);
// A member is written under a temporary name beside its destination and
// takes the real name only when whole. The directory comes in path and the
// new file's name goes back in it: GetTempFileNameA's name there
// (VLKxxxx.TMP, xxxx four hex digits, a name every file system takes), the
// first free one from the last used, created new and opened as
// osCreateOutput does. On failure nothing is left behind.
FileHandle osCreateTempOutput(char* path, uint32_t size);
// The temporary file takes its real name, replacing a file of that name
// whole or leaving it untouched: MoveFileExA on the NT family; elsewhere the
// old file is renamed aside, the new one renamed, and the old one deleted,
// or renamed back when the new one cannot take its name. 0 when Windows
// refuses (a read-only, locked or directory target).
int osReplaceFile(const char* from, const char* to);
int osCreateDirectory(const char* path);
// Whether a member may be written at path under the destination. Windows
// writes wherever the archive says: its author chose the paths, and the
// directory macros are there to reach system folders. velkar-run, which
// people point at files they do not trust, keeps every write inside the
// destination.
int osOutputPathAllowed(const char* destination, const char* path);

// A member left unwritten because the file at path stays as it is: as new
// as the member or newer, its time unreadable (it then counts as newer), or
// the overwrite question answered No. Windows shows nothing of it;
// velkar-run says which file was kept and why.
enum class KeptFile : unsigned char { asNewOrNewer, timeUnreadable, answeredNo };
void osNoteKeptFile(const char* path, KeptFile reason);

// Attributes and times of files; attribute values are the Windows ones.
const uint32_t INVALID_ATTRIBUTES = 0xFFFFFFFF;
const uint32_t ATTRIBUTE_READONLY = 0x01;
const uint32_t ATTRIBUTE_DIRECTORY = 0x10;
const uint32_t ATTRIBUTE_NORMAL = 0x80;
uint32_t osFileAttributes(const char* path);  // GetFileAttributesA
int osSetFileAttributes(const char* path, uint32_t attributes);
// Opens an existing file for reading, shared, and reads its last-write time.
int osLastWriteTime(const char* path, FileTime* lastWrite);
// SetFileTime on an open output file; a null time is left unchanged.
int osSetFileTimes(FileHandle file, const FileTime* creation, const FileTime* lastAccess, const FileTime* lastWrite);
// GetVolumeInformationA's maximum component length for a root such as "D:\",
// or for the current volume when root is 0; 0 when the query fails.
uint32_t osMaxComponentLength(const char* root);
// GetFileTitleA; 1 when the title fits.
int osFileTitle(const char* path, char* out, uint16_t size);

// Environment and folders; each returns the length copied, the size needed
// (terminator included) when out is too small, or 0 on failure.
uint32_t osGetEnv(const char* name, char* out, uint32_t size);
uint32_t osWindowsDirectory(char* out, uint32_t size);
uint32_t osSystemDirectory(char* out, uint32_t size);
uint32_t osCurrentDirectory(char* out, uint32_t size);
int osSetCurrentDirectory(const char* path);
uint32_t osSearchPath(const char* name, char* out, uint32_t size, char** filePart);

// A string value under HKEY_LOCAL_MACHINE, key opened for query only; 1/0.
int osQueryLocalMachineString(const char* keyPath, const char* valueName, char* out, uint32_t outSize);

// Text in the system code page.
int osIsLeadByte(unsigned char byte);                      // IsDBCSLeadByte
char* osCharPrev(const char* start, const char* current);  // CharPrevA
char osCharLower(char c);                                  // CharLowerA on one character

// User interface.
int osMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style);

// A modal dialog from a template. The platform turns its window messages into
// these events for the handler, which answers as a dialog procedure does;
// `value` is the command's control id, the timer's id, or the sender of a
// DDE acknowledgment.
enum DialogEvent {
    DIALOG_INIT,
    DIALOG_COMMAND,
    DIALOG_TIMER,
    DIALOG_PAINT,
    DIALOG_ERASE_BACKGROUND,
    DIALOG_QUERY_DRAG_ICON,
    DIALOG_DDE_ACK,
};
typedef intptr_t (*DialogHandler)(WindowHandle dialog, int event, uintptr_t value);
int osRunDialog(const char* templateName, DialogHandler handler);  // DialogBoxParamA; -1 on failure
void osEndDialog(WindowHandle dialog, int result);
void osSetWindowText(WindowHandle window, const char* text);
void osSetDlgItemText(WindowHandle dialog, int id, const char* text);
uint32_t osGetDlgItemText(WindowHandle dialog, int id, char* out, uint32_t size);
void osLimitDlgItemText(WindowHandle dialog, int id, uint32_t limit);  // EM_LIMITTEXT
void osEnableDlgItem(WindowHandle dialog, int id, int enable);
void osCheckDlgButton(WindowHandle dialog, int id, int checked);
// Gives the button the focus and the default push button's look.
void osFocusDefaultButton(WindowHandle dialog, int id);
void osStartTimer(WindowHandle window, int id, uint32_t milliseconds);
void osStopTimer(WindowHandle window, int id);
void osPostCommand(WindowHandle window, int id);  // WM_COMMAND with lParam 0
// Handles every waiting message of the thread without blocking.
void osPumpMessages(WindowHandle dialog);

// Window placement, in screen pixels.
struct WindowRect {
    int left;
    int top;
    int right;
    int bottom;
};
void osScreenSize(int* width, int* height);  // SM_CXSCREEN, SM_CYSCREEN
int osWindowRect(WindowHandle window, WindowRect* rect);
void osMoveWindow(WindowHandle window, int x, int y, int width, int height);  // without repainting
int osIsMinimised(WindowHandle window);

// The program's icon "IDI_ICON1", shared with the module: it needs no
// release of its own. The dialog also shows it as its window's icon.
typedef void* IconHandle;
IconHandle osLoadDialogIcon(WindowHandle dialog);
// The minimised window's paint: its background, then the icon at 0, 0.
void osPaintMinimisedIcon(WindowHandle window, IconHandle icon);

// The classic open-file dialog with a template of the program's own
// (GetOpenFileNameA, OFN_HIDEREADONLY | OFN_ENABLETEMPLATE). The buffer holds
// the initial file name and receives the full path; nameOffset is where its
// file name begins. 1 when the user confirmed.
int osChooseFile(WindowHandle owner, const char* templateName, const char* title, char* buffer, uint32_t capacity,
                 uint32_t* nameOffset);

// WM_WININICHANGE posted to every top-level window.
void osBroadcastSettingChange();
// ShellExecuteA with the default verb and SW_SHOW; parameters may be 0.
void osShellExecute(WindowHandle owner, const char* file, const char* parameters, const char* directory);

// Installer actions. Registry and profile writes are not checked: a class
// that cannot be written is passed over.
void osWriteClassValue(const char* keyPath, const char* valueName, const char* text);  // REG_SZ under HKEY_CLASSES_ROOT
void osWriteProfileString(const char* section, const char* key, const char* text);     // WriteProfileStringA
// GetShortPathNameA: the length copied, the size needed when out is too
// small, 0 when the path does not exist.
uint32_t osShortPathName(const char* path, char* out, uint32_t size);
void osLowerText(char* text);                    // CharLowerA on a whole text
int osWindowClassExists(const char* className);  // FindWindowA with no window name
// CreateProcessA of a command line searched on the path, then a wait of at
// most idleMilliseconds for it to take input; its handles are closed.
void osStartProgram(const char* commandLine, uint32_t idleMilliseconds);

// A DDE conversation in plain window messages, the client being a dialog.
// The initiate is sent to every top-level window with atoms for the names;
// the servers' acknowledgments reach the client's DIALOG_DDE_ACK during the
// call. The execute puts the commands in shareable global memory and posts
// them; 0 when the memory cannot be had or the post fails, and then nothing
// stays allocated. The platform releases what each acknowledgment carries.
void osDdeInitiate(WindowHandle client, const char* application, const char* topic);
int osDdeExecute(WindowHandle client, WindowHandle server, const char* commands);
void osDdeTerminate(WindowHandle client, WindowHandle server);
uint32_t osTickCount();  // GetTickCount: milliseconds since some fixed moment

// Time conversions of the file system.
int osFileTimeToSystemTime(const FileTime* fileTime, SystemTime* systemTime);
int osSystemTimeToFileTime(const SystemTime* systemTime, FileTime* fileTime);
