// Reading and checking one level-2 member header.
#pragma once

const int HEADER_READ = 1;
const int END_OF_ARCHIVE = 0;
const int HEADER_FAILED = -1;

int readMemberHeader();
void releaseMemberHeader();
