// The main dialog, through which the destination is confirmed and the
// extract pass runs.
#pragma once

int runMainDialog();
