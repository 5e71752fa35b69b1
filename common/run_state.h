// The one process-wide record of a run and the run flags beside it.
#pragma once

#include "common/formats.h"
#include "platform/platform.h"

#define DEFAULT_WINDOW_TITLE "Velkar V2.60.w32.0033"

// The failures a run reports, each with its own message; none before the
// first.
enum class FailureKind : unsigned char {
    none,
    notEnoughMemory,
    readError,
    earlyEnd,
    badHeader,
    openError,
    writeError,
    badTable,
    crcError,
    closeError,
    tampered,
};

// What a run did, handed back by the entry. The stub's exit status and
// velkar-run's are each derived from it in one place.
struct RunOutcome {
    uint32_t filesWritten;    // members unpacked whole: written, closed and their CRC right
    uint32_t foldersMade;     // directory entries whose folder is there afterwards, made now or before
    uint32_t foldersMissing;  // directory entries whose folder could not be made; the stub says nothing of it
    uint32_t filesKept;       // existing files left as they were: newer, or the overwrite question said No
    uint32_t pathsRefused;    // members skipped because the platform refused their output path
    uint32_t failures;        // failures reported, each in its message box
    FailureKind firstFailure;
    int declined;  // No to the "!" question, or Cancel at the dialog, an overwrite question or during the extract pass
    int extractPassRan;
    int aborted;  // a decoding failure or Cancel ended the run: no finishing action
};

enum class DdeState : int;
struct DecoderState;
struct InstallerHooks;
struct MemberHeader;
struct WalkDisplay;

// The one record of a run, allocated zero-filled at start-up together with
// the header and decoder it points to, and freed at its end. Grouped by the
// module that writes each field; others only read it.
struct RunState {
    // Start-up: the settings block as read (the script may change its texts),
    // and the paths known before the first walk.
    SettingsBlock settings;
    char selfPath[260];        // the program's own file, which holds the archive
    char commandLineDir[256];  // the destination named on the command line, if any

    // Run flags, settled at start-up from the settings and the command line;
    // the script may change all but the last.
    int autoStart;  // start unpacking 0.7 s after the dialog opens
    int overwriteWithoutAsking;
    int keepNewerFiles;      // skip members older than the file they would replace
    int askBeforeClass;      // ask "Set Class?" before each class
    int dirFromCommandLine;  // commandLineDir holds a destination
    int dirTooLong;          // the command line named a directory too long to take: no auto-start

    // Texts shown by the dialog and as every message box's caption; the script
    // may replace them during the scan pass.
    char windowTitle[80];
    char installTitle[80];  // the label above the directory box
    char groupTitle[80];    // the group box's text
    char classTitle[80];    // the class box's text
    char scriptText[4096];  // the "$" installer script, kept for the finishing actions
    // Scratch for the text of one message box at a time, and for the "!"
    // question from its decoding until it has been asked.
    char messageText[1024];

    // Installer options: set by the script, then following the dialog's boxes.
    int createGroup;
    int registerClass;
    int groupBoxChecked;
    int classBoxChecked;
    DdeState ddeState;  // the Program Manager conversation's state

    // Installer actions: the fields of the "$Class=" or "$Group=" line being
    // carried out, and the Program Manager conversation.
    char classExtension[80];       // the extension with its dot; lower-cased before use
    char classDescription[80];     // the class's readable name
    char classKey[80];             // the class key's name; its key paths are built in it
    char groupName[80];            // the Program Manager group to create
    char itemTitle[80];            // the title of the group's item
    char programPath[260];         // the line's program, relative, then absolute and short
    char iconPath[260];            // the item's icon file, like programPath; empty for none
    char actionText[1024];         // a registry text, or the commands sent to Program Manager
    WindowHandle ddeServerWindow;  // the server that answered the initiate

    // The dialog.
    WindowHandle dialogWindow;   // owner of every message box once the dialog exists
    const WalkDisplay* display;  // what the extract pass shows; 0 during the scan pass
    IconHandle dialogIcon;       // painted while the dialog is minimised
    int extracting;              // the extract pass has started
    int cancelRequested;         // Cancel was pressed during the extract pass

    // The walk.
    const InstallerHooks* installer;  // what the walk leaves to the installer, wired by the entry
    int failureFlag;                  // a failure was reported; the pass stops
    RunOutcome outcome;               // what the run did, for the exit status
    FileHandle archiveHandle;         // the program's own file during a walk
    FileHandle outputHandle;          // the current member's file; INVALID_FILE while decoding into memory
    uint32_t archiveSize;             // size of the program's own file
    uint16_t tamperValue;             // the value in front of the first member, when the settings ask for it
    uint16_t crcXor;                  // XOR of the data CRCs of the members read so far
    MemberHeader* header;             // the current member
    DecoderState* decoder;            // the walk's decoder, whose window outlives each member and pass
    int longNameVolume;               // the destination takes long names (else 8.3 rules)
    char extractDir[256];             // the destination confirmed at OK
    char memberPath[260];             // the current member's path as the archive gives it
    char outputPath[516];             // where the current member is written
    char tempPath[516];               // the member's file until it is whole and takes outputPath's name
};

// The run under way, for every layer; 0 outside a run.
extern RunState* run;

// The platform is Win32s: known before the run's record exists, and the
// same for the whole process.
extern int isWin32s;
