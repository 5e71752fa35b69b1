// The main dialog's control ids, read by the resource compiler for the
// template and by the dialog's code. Plain defines, since the resource
// compiler understands nothing else.
#pragma once

#define ID_DIRECTORY 100
#define ID_FILE_NAME 101
#define ID_PROGRESS 102
#define ID_LABEL 103
#define ID_REFERENCE 104
#define ID_GROUP_BOX 105
#define ID_CLASS_BOX 106
