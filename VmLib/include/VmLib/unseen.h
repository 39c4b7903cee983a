/* A new file that appears under its name only when it is complete, in one
 * step that replaces whatever regular file or link had the name. Until then
 * it has no name at all (O_TMPFILE) or, where the file system cannot do that,
 * an unpredictable one made with O_EXCL, which a catchable signal removes.
 * Nothing planted under any name is followed, reused or left behind. */
#ifndef VMLIB_UNSEEN_H
#define VMLIB_UNSEEN_H

#include <string>

struct UnseenFile {
    int fd = -1;      /* open for writing */
    int dirfd = -1;   /* the folder of the name */
    std::string base; /* the name within that folder */
    std::string temp; /* the temporary name while there is one */
    int slot = -1;    /* its place among the names a signal removes */
};

/* UNSEEN_NAMED: a temporary name from the start even where the file system
 * could do without one. */
#define UNSEEN_NAMED 1u

/* Failure codes; each also serves as the error position. */
enum UnseenError : int {
    UNSEEN_OK = 0,
    UNSEEN_ERR_NAME = 1,    /* empty, or naming a folder */
    UNSEEN_ERR_FOLDER,      /* the folder cannot be opened */
    UNSEEN_ERR_NOT_REGULAR, /* the name is taken by a device, FIFO, folder... */
    UNSEEN_ERR_CREATE,
    UNSEEN_ERR_GUARD, /* no room left among the names a signal removes */
    UNSEEN_ERR_LINK,
    UNSEEN_ERR_RENAME,
};

/* Opens the folder of pszPath and a file for writing that has not taken the
 * name yet. The name must be absent, a regular file or a symbolic link. */
int UnseenCreate(const char *pszPath, unsigned dwFlags, UnseenFile *pFile);
/* Gives the file its name and closes it; on failure nothing is left and what
 * had the name keeps it. */
int UnseenPublish(UnseenFile *pFile);
/* Closes the file and leaves nothing behind. */
void UnseenDiscard(UnseenFile *pFile);

#endif
