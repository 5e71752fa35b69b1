// A Program Manager group with one item, made through a DDE conversation in
// which the main dialog is the client window.
#pragma once

#include "platform/platform.h"

// Where the conversation stands (run->ddeState).
enum class DdeState : int { idle, initiating, executing, done };

// How long a conversation may go without the acknowledgment it waits for.
const uint32_t DDE_REPLY_LIMIT = 5000;
// How long Program Manager, when it has to be started, may take to get ready.
const uint32_t PROGMAN_IDLE_LIMIT = 3000;

// Works on groupName, itemTitle, programPath and iconPath, the paths already
// absolute and short; returns once the conversation is done.
void createProgramGroup(WindowHandle client);
// Every WM_DDE_ACK that reaches the client, with its sender.
void acknowledgeGroupConversation(WindowHandle client, WindowHandle sender);
