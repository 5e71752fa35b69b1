// The one process-wide record of a run and the run flags beside it.
#pragma once

#include "platform/platform.h"

const uint32_t SETTINGS_OFFSET = 512;
const uint32_t SETTINGS_SIZE = 603;

// Bits of SettingsBlock::flags; the others are never read.
const unsigned char FLAG_AUTO_START = 0x01;
const unsigned char FLAG_OVERWRITE = 0x02;
const unsigned char FLAG_TAMPER_CHECK = 0x04;
const unsigned char FLAG_NO_KEEP_NEWER = 0x08;

#define DEFAULT_WINDOW_TITLE "Velkar V2.60.w32.0033"

// Written by the builder at offset 512 of the stub, read once at start-up.
struct __attribute__((packed)) SettingsBlock {
    uint32_t archiveOffset;
    char windowTitle[41];
    char installTitle[41];
    char destDir[256];
    char command[258];
    unsigned char reserved;
    unsigned char flags;
    unsigned char restoreAttributes;
};
static_assert(sizeof(SettingsBlock) == SETTINGS_SIZE, "the settings block is 603 bytes");

const uint32_t INPUT_BUFFER_SIZE = 16384;
const uint32_t WINDOW_SIZE = 65536;
const uint32_t LITERAL_COUNT = 510;     // literal/length alphabet
const uint32_t TREE_LINKS = 2 * LITERAL_COUNT - 1;
const uint32_t SYMBOL_TABLE_BITS = 12;
const uint32_t SMALL_TABLE_BITS = 8;

// One level-2 member header. The raw bytes stay with the walk until the next
// header is read; the names are positions in them.
struct MemberHeader {
    unsigned char* raw;
    uint32_t headerSize;
    unsigned char method;
    uint32_t packedSize;
    uint32_t unpackedSize;
    uint32_t timeStamp;
    uint16_t dataCrc;
    unsigned char osId;
    uint16_t attribute;
    uint32_t creationTime;
    uint32_t lastAccessTime;
    uint32_t lastWriteTime;
    uint16_t headerCrc;
    uint32_t headerCrcPos;
    uint32_t fileNamePos;
    uint32_t fileNameLength;
    uint32_t dirNamePos;
    uint32_t dirNameLength;
};

// Why a decoding stopped before its member's end. The decoders and the
// output sink set it once and go on only to the next block or window
// boundary, where they stop; the walk reports it and ends the run.
enum DecodeFailure {
    DECODE_OK,
    DECODE_READ_FAILED,   // the archive could not be read
    DECODE_WRITE_FAILED,  // the output file took fewer bytes than given
    DECODE_BAD_TABLE,     // a Huffman code that no valid member holds
    DECODE_CANCELLED,     // Cancel was pressed during the member
};

// Told the bytes written of the member and its size after each full window;
// returns 0 when the run is to stop (Cancel).
typedef int (*ProgressHook)(uint32_t done, uint32_t total);

// What the walk shows while it extracts, implemented by the dialog. Absent
// during the scan pass, which shows nothing but its questions and errors.
struct WalkDisplay {
    void (*showMember)(const char* displayName);    // a new member's name, its percentage back to 0
    int (*showProgress)(uint32_t done, uint32_t total);  // a ProgressHook
};

// The one record of a run, allocated zero-filled at start-up and freed at its
// end. Grouped by the module that writes each field; others only read it.
struct RunState {
    // Start-up: the settings block as read (the script may change its texts),
    // and the paths known before the first walk.
    SettingsBlock settings;
    char selfPath[260];         // the program's own file, which holds the archive
    char commandLineDir[256];   // the destination named on the command line, if any

    // Texts shown by the dialog and as every message box's caption; the script
    // may replace them during the scan pass.
    char windowTitle[80];
    char installTitle[80];      // the label above the directory box
    char groupTitle[80];        // the group box's text
    char classTitle[80];        // the class box's text
    char scriptText[4096];      // the "$" installer script, kept for the finishing actions
    // Scratch for the text of one message box at a time, and for the "!"
    // question from its decoding until it has been asked.
    char messageText[1024];

    // Installer options: set by the script, then following the dialog's boxes.
    int createGroup;
    int registerClass;
    int groupBoxChecked;
    int classBoxChecked;
    int ddeState;               // the Program Manager conversation's state (DDE_IDLE ...)

    // Installer actions: the fields of the "$Class=" or "$Group=" line being
    // carried out, and the Program Manager conversation.
    char classExtension[80];    // the extension with its dot; lower-cased before use
    char classDescription[80];  // the class's readable name
    char classKey[80];          // the class key's name; its key paths are built in it
    char groupName[80];         // the Program Manager group to create
    char itemTitle[80];         // the title of the group's item
    char programPath[260];      // the line's program, relative, then absolute and short
    char iconPath[260];         // the item's icon file, like programPath; empty for none
    char actionText[1024];      // a registry text, or the commands sent to Program Manager
    WindowHandle ddeServerWindow;  // the server that answered the initiate

    // The dialog.
    WindowHandle dialogWindow;  // owner of every message box once the dialog exists
    const WalkDisplay* display; // what the extract pass shows; 0 during the scan pass
    IconHandle dialogIcon;      // painted while the dialog is minimised
    int extracting;             // the extract pass has started
    int cancelRequested;        // Cancel was pressed during the extract pass

    // The walk.
    int failureFlag;            // a failure was reported; the pass stops
    int runAborted;             // a decoding failure or Cancel ended the run: exit 1, no finishing action
    FileHandle archiveHandle;   // the program's own file during a walk
    FileHandle outputHandle;    // the current member's file; INVALID_FILE while decoding into memory
    uint32_t archiveSize;       // size of the program's own file
    uint16_t tamperValue;       // the value in front of the first member, when the settings ask for it
    uint16_t crcXor;            // XOR of the data CRCs of the members read so far
    MemberHeader header;        // the current member
    int longNameVolume;         // the destination takes long names (else 8.3 rules)
    char extractDir[256];       // the destination confirmed at OK
    char memberPath[260];       // the current member's path as the archive gives it
    char outputPath[516];       // where the current member is written

    // CRC-16: the table and the running value over the bytes written.
    uint16_t crcTable[256];
    // crcTable advanced over 1 to 7 more zero bytes, so that eight bytes
    // cost eight independent look-ups instead of a chain of eight.
    uint16_t crcSliceTables[7][256];
    uint16_t crc;

    // Archive input and bit input.
    unsigned char inputBuffer[INPUT_BUFFER_SIZE];
    uint32_t inputPos;          // next byte of inputBuffer; INPUT_BUFFER_SIZE or more asks for a refill
    uint32_t packedLeft;        // packed bytes of the member not yet read from the file
    uint16_t bitBuffer;         // the next 16 bits of the packed data
    unsigned char pendingByte;  // the rest of the last byte read, left-aligned
    unsigned char pendingBitCount;
    unsigned char bytesPastEnd; // zero bytes fed since the packed data ran out

    // Output sink: where decoded bytes go besides the output file.
    char* memoryText;           // the memory sink's text (with outputHandle INVALID_FILE)
    uint32_t memoryTextSize;
    ProgressHook progress;      // told after each full window of a file; 0 for none
    DecodeFailure decodeFailure;

    // Block decoder: the window, which is never cleared between members, and
    // the codes of the current block.
    unsigned char window[WINDOW_SIZE];
    uint32_t windowPos;         // next byte to fill; the window goes out when it is full
    uint32_t targetSize;        // the member's unpacked size
    uint32_t producedCount;     // bytes decoded so far, the copy in progress included
    uint16_t blockSymbolsLeft;  // symbols left in the block; 0 reads the next block header
    uint16_t positionCodeCount; // the method's position alphabet
    uint16_t positionCountBits;
    uint16_t leftChild[TREE_LINKS];   // tree links of codes longer than the tables
    uint16_t rightChild[TREE_LINKS];
    uint16_t symbolTable[1 << SYMBOL_TABLE_BITS];
    uint16_t symbolCodes[1 << SYMBOL_TABLE_BITS];  // symbolTable with each symbol's length, for the fast loop
    uint16_t smallTable[1 << SMALL_TABLE_BITS];  // the code-length code, then the position code
    uint16_t positionCodes[1 << SMALL_TABLE_BITS];  // the position code's smallTable with lengths, for the fast loop
    unsigned char symbolLengths[LITERAL_COUNT];
    unsigned char smallLengths[128];
};

extern RunState* run;

// Run flags, settled at start-up from the settings and the command line;
// the script may change them. They live outside RunState because isWin32s
// is known before RunState exists and the others keep their defaults there.
extern int isWin32s;
extern int autoStart;
extern int overwriteWithoutAsking;
extern int keepNewerFiles;
extern int askBeforeClass;
extern int dirFromCommandLine;
