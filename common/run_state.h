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

struct RunState {
    SettingsBlock settings;

    char selfPath[260];
    char messageText[1024];
    char scriptText[4096];
    char windowTitle[80];
    char installTitle[80];
    char groupTitle[80];
    char classTitle[80];
    char itemTitle[80];
    char extractDir[256];
    char memberPath[260];
    char outputPath[516];

    int createGroup;
    int registerClass;
    int groupBoxChecked;
    int classBoxChecked;

    int failureFlag;
    int extracting;
    int cancelRequested;
    WindowHandle dialogWindow;

    FileHandle archiveHandle;
    FileHandle outputHandle;
    uint32_t archiveSize;
    uint16_t tamperValue;
    unsigned char reservedKind;

    MemberHeader header;
    int longNameVolume;

    uint16_t crcTable[256];
    uint16_t crc;
    unsigned char inputBuffer[INPUT_BUFFER_SIZE];
    uint32_t inputPos;

    // Bit input and Huffman tables.
    uint16_t bitBuffer;
    unsigned char pendingByte;
    unsigned char pendingBitCount;
    uint32_t packedLeft;
    uint16_t leftChild[TREE_LINKS];
    uint16_t rightChild[TREE_LINKS];

    // Block decoder.
    unsigned char window[WINDOW_SIZE];
    uint32_t windowSize;
    uint32_t windowPos;
    uint32_t targetSize;
    uint32_t producedCount;
    uint16_t blockSymbolsLeft;
    uint16_t positionCodeCount;
    uint16_t positionCountBits;
    uint16_t symbolTable[1 << SYMBOL_TABLE_BITS];
    uint16_t smallTable[1 << SMALL_TABLE_BITS];
    unsigned char symbolLengths[LITERAL_COUNT];
    unsigned char smallLengths[128];
};

extern RunState* run;

extern int isWin32s;
extern int autoStart;
extern int overwriteWithoutAsking;
extern int keepNewerFiles;
extern int askBeforeClass;
extern int dirFromCommandLine;
extern uint16_t crcXor;
extern void* instanceHandle;
// The Program Manager conversation's state and the main dialog's icon.
extern int ddeState;
extern IconHandle dialogIcon;
