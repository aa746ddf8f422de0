/* The cabinet decompression interface (FDI): FDICreate, FDIIsCabinet, FDICopy
 * and FDIDestroy with the published FDI record, callback and notification
 * shapes, decoding stored, MSZIP, Quantum and LZX cabinets through libmspack.
 *
 * Every file and memory operation goes through the caller's callbacks: the
 * cabinets are opened with pfnopen and read with pfnread/pfnseek, decoded
 * bytes are written with pfnwrite into the handles that the notification
 * callback hands out, and all working memory comes from pfnalloc.
 *
 * Host conventions:
 * - Paths use "/" as separator. FDICopy opens the cabinet at
 *   pszCabPath + pszCabinet, so a non-empty pszCabPath ends in "/".
 * - pfnopen receives POSIX open flags (O_RDONLY, O_WRONLY | O_CREAT | O_TRUNC,
 *   ...) from <fcntl.h>, so a callback may hand them to open(2) unchanged;
 *   pfnseek receives SEEK_SET, SEEK_CUR or SEEK_END (0, 1, 2).
 * - Handles are intptr_t values; -1 means failure, as with FDI.
 * - BOOL results are plain int: non-zero is true.
 * - Calls on one HFDI run on one thread, one at a time; there is no global
 *   state, so separate HFDIs may be used on separate threads.
 */
#ifndef PANDREL_PLATFORM_FDI_FDI_H
#define PANDREL_PLATFORM_FDI_FDI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes, found in ERF.erfOper after a failed call and in
 * FDINOTIFICATION.fdie of a repeated fdintNEXT_CABINET. */
typedef enum FDIERROR {
  FDIERROR_NONE = 0,
  FDIERROR_CABINET_NOT_FOUND = 1,
  FDIERROR_NOT_A_CABINET = 2,
  FDIERROR_UNKNOWN_CABINET_VERSION = 3,
  FDIERROR_CORRUPT_CABINET = 4,
  FDIERROR_ALLOC_FAIL = 5,
  FDIERROR_BAD_COMPR_TYPE = 6,
  FDIERROR_MDI_FAIL = 7,
  FDIERROR_TARGET_FILE = 8,
  FDIERROR_RESERVE_MISMATCH = 9,
  FDIERROR_WRONG_CABINET = 10,
  FDIERROR_USER_ABORT = 11,
  FDIERROR_EOF = 12
} FDIERROR;

/* The error record given to FDICreate. Every later failure of a call on the
 * same HFDI is recorded here: erfOper holds an FDIERROR, erfType the
 * decoder's own error code when it reported one (else 0), fError non-zero. A
 * successful call leaves the record as it was. */
typedef struct ERF {
  int erfOper;
  int erfType;
  int fError;
} ERF, *PERF;

/* The processor type argument of FDICreate; it does not change anything. */
#define cpuUNKNOWN (-1)
#define cpu80286 (0)
#define cpu80386 (1)

/* The largest name (with its terminating NUL) and cabinet folder that FDI
 * hands to the notification callback for the callee to change. */
#define CB_MAX_CABINET_NAME 256
#define CB_MAX_CAB_PATH 256

typedef struct FDICABINETINFO {
  long cbCabinet;          /* the size the header claims */
  unsigned short cFolders; /* the counts the header claims */
  unsigned short cFiles;
  unsigned short setID;
  unsigned short iCabinet; /* index within its set, from 0 */
  int fReserve;            /* the header has reserved areas */
  int hasprev;             /* the set goes on before this cabinet */
  int hasnext;             /* the set goes on after this cabinet */
} FDICABINETINFO, *PFDICABINETINFO;

typedef enum FDINOTIFICATIONTYPE {
  fdintCABINET_INFO = 0,
  fdintPARTIAL_FILE = 1,
  fdintCOPY_FILE = 2,
  fdintCLOSE_FILE_INFO = 3,
  fdintNEXT_CABINET = 4,
  fdintENUMERATE = 5
} FDINOTIFICATIONTYPE;

/* What each notification carries (fields not listed are 0 or null):
 *
 * fdintCABINET_INFO, once for the cabinet named to FDICopy and once for each
 *   following cabinet that it opens: psz1 the next cabinet's name, psz2 the
 *   next disk's name (both "" when the set ends here), psz3 the folder the
 *   cabinet was opened from, setID, iCabinet. Answer 0, or -1 to abort.
 * fdintPARTIAL_FILE, for an entry whose data began in an earlier cabinet:
 *   psz1 the entry's name, psz2 the previous cabinet's name, psz3 the
 *   previous disk's name. Nothing is written. Answer 0, or -1 to abort.
 * fdintCOPY_FILE, before an entry is decoded: psz1 the entry's name, cb its
 *   size, date, time and attribs as the cabinet records them (MS-DOS date and
 *   time), iFolder, setID, iCabinet. Answer 0 to skip the entry, -1 to abort,
 *   or an open handle (any other value) that FDI writes the decoded bytes to
 *   with pfnwrite.
 * fdintCLOSE_FILE_INFO, after an entry was written whole: psz1, hf (the handle
 *   from fdintCOPY_FILE), date, time, attribs, cb 1 when the entry is marked
 *   "run after extraction" (attribute 0x40), else 0. The callee closes hf and
 *   answers non-zero; 0 aborts. When FDICopy fails while an entry is being
 *   written, FDI closes that entry's handle with pfnclose itself and sends no
 *   fdintCLOSE_FILE_INFO; the partly written file is left to the caller.
 * fdintNEXT_CABINET, when an entry goes on in the next cabinet of the set:
 *   psz1 its name, psz2 its disk's name, psz3 a buffer of CB_MAX_CAB_PATH
 *   bytes holding the folder to look in, which the callee may change; fdie is
 *   FDIERROR_NONE the first time. FDI then opens psz3 + psz1. When that fails
 *   the notification comes again with fdie telling why; answering -1 aborts
 *   the copy (FDIERROR_USER_ABORT). After 8 failed attempts FDICopy gives up
 *   with that error by itself.
 * fdintENUMERATE is never sent.
 */
typedef struct FDINOTIFICATION {
  long cb;
  char* psz1;
  char* psz2;
  char* psz3;
  void* pv; /* the pvUser argument of FDICopy */
  intptr_t hf;
  unsigned short date;
  unsigned short time;
  unsigned short attribs;
  unsigned short setID;
  unsigned short iCabinet;
  unsigned short iFolder;
  FDIERROR fdie;
} FDINOTIFICATION, *PFDINOTIFICATION;

typedef void* (*PFNALLOC)(unsigned long cb);
typedef void (*PFNFREE)(void* pv);
typedef intptr_t (*PFNOPEN)(char* pszFile, int oflag, int pmode);
/* Return the byte count, or (unsigned)-1 on failure. */
typedef unsigned (*PFNREAD)(intptr_t hf, void* pv, unsigned cb);
typedef unsigned (*PFNWRITE)(intptr_t hf, void* pv, unsigned cb);
typedef int (*PFNCLOSE)(intptr_t hf);
/* Returns the new position, or -1. */
typedef long (*PFNSEEK)(intptr_t hf, long dist, int seektype);
typedef intptr_t (*PFNFDINOTIFY)(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin);
/* Encrypted cabinets are not supported: the callback is never called. */
typedef int (*PFNFDIDECRYPT)(void* pfdid);

typedef void* HFDI;

/* A context for the calls below, or null (with perf filled) on failure. The
 * context itself is allocated with pfnalloc. */
HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
               PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, PERF perf);

/* Non-zero when the bytes at hf's current position begin a cabinet header
 * (signature "MSCF", format version 1.3); fills *pfdici then. Reads through
 * pfnread only and leaves the position wherever it got to. */
int FDIIsCabinet(HFDI hfdi, intptr_t hf, PFDICABINETINFO pfdici);

/* Decodes the entries of the cabinet pszCabPath + pszCabinet, asking
 * pfnfdin about each (see FDINOTIFICATION). Entries whose data continue into
 * the following cabinets of the set are decoded whole from there, together
 * with the rest of the entries of the folder they belong to; entries of a
 * folder that began in an earlier cabinet are reported as fdintPARTIAL_FILE
 * and left to the copy of that earlier cabinet. flags and pfnfdid are
 * ignored. Non-zero when every entry was handled. */
int FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
            PFNFDIDECRYPT pfnfdid, void* pvUser);

/* Releases the context. Non-zero on success. */
int FDIDestroy(HFDI hfdi);

#ifdef __cplusplus
}
#endif

#endif /* PANDREL_PLATFORM_FDI_FDI_H */
