// System error numbers: reading errno and the platform's last error code,
// mapping pipe errors of both platforms to the errno values the pipe code acts
// on, and classifying them.
#pragma once

int errnrGet();
unsigned long errnrGetLastError();
// Clears errno and the system error code before a call whose failure is read.
void errnrClear();

// context: "pr" pipe read, "pw" pipe write, any text containing 'p' other pipe work.
int errnrAdapt(int e, unsigned long w, char const* context);
int errnrGetAdapt(char const* context);

bool errIsReadAgain(int e);
bool errIsReadAgainX0(int e);
bool errIsWriteAgain(int e);
bool errIsWriteAgainX0(int e);
bool errIsWriteEmpty(int e);
bool errIsWriteEmptyX0(int e);
bool errIsPipeRead(int e);
bool errIsPipeWrite(int e);
bool errIsPipeWriteX0(int e);
bool errIsDiskIO(int e);

// Prints "./?: errno %i // %s" on standard output; true when e is 0.
bool errnrPrint(int e, char const* text);

// Writes all bytes to a descriptor, retrying short and interrupted writes.
bool fdWriteAll(int fd, char const* buf, long long n);
