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

    uint16_t crcTable[256];
    uint16_t crc;
    unsigned char inputBuffer[INPUT_BUFFER_SIZE];
    uint32_t inputPos;
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
