/* Miradel: shared network models for the host program.
 *
 * The host loads the library and calls these functions from one thread. Integers are passed by
 * reference (a pointer to the host's int); a text is a pointer to its first character and a
 * pointer to its length in bytes, need not be terminated, and is empty when the pointer is null or
 * the length is 0 or negative. Results are 1 for success and 0 for failure unless stated.
 * Output buffers are written with a terminating zero and at most MIRADEL_PATH_BUFFER bytes. */
#ifndef MIRADEL_H
#define MIRADEL_H

#ifdef _WIN32
#define MIRADEL_CALL __cdecl
#if defined(MIRADEL_BUILDING)
#define MIRADEL_API
#else
#define MIRADEL_API __declspec(dllimport)
#endif
#else
#define MIRADEL_CALL
#define MIRADEL_API __attribute__((visibility("default")))
#endif

#define MIRADEL_PATH_BUFFER 256

#ifdef __cplusplus
extern "C" {
#endif

/* Who holds a lock: the layout of the 65-byte owner buffer of the lock functions. */
typedef struct MiradelLockOwner {
  char machine_name[32]; /* zero-terminated */
  char user_name[32];    /* zero-terminated */
  unsigned char is_permanent;
} MiradelLockOwner;

/* Registers the host's window: the owner of the library's message boxes and dialogs. */
MIRADEL_API void MIRADEL_CALL NW_SetHwnd(const int* window);
/* Nonzero: informational message boxes are not shown. */
MIRADEL_API void MIRADEL_CALL NW_SetSilentMode(const int* silent);
/* The name of the user running the host, with a terminator, into a buffer of *size bytes
 * (*size is only read). 0 when the buffer is too small or the name cannot be had. */
MIRADEL_API int MIRADEL_CALL NW_GetUserName(char* buffer, const int* size);
/* The model directory (in the form the host gave it) with a terminator; buffer of
 * MIRADEL_PATH_BUFFER bytes. */
MIRADEL_API void MIRADEL_CALL NW_GetModelDir(char* buffer);
/* The model's local working directory with its trailing separator and a terminator; empty before
 * one exists. Buffer of MIRADEL_PATH_BUFFER bytes. */
MIRADEL_API void MIRADEL_CALL NW_GetQVTempDir(char* buffer);
/* Makes the terminated directory the process's current directory. */
MIRADEL_API int MIRADEL_CALL NW_SetWorkingdir(const char* directory);
/* The host's version number (5, 6 or 8 digits, e.g. 80100 for 8.0.1.0). Must come before any
 * lock is taken. */
MIRADEL_API void MIRADEL_CALL NW_SetVersionNo(const int* version);
/* 1 when directory + name is the open model (letter case ignored), else 0. */
MIRADEL_API int MIRADEL_CALL NW_CmpModels(const char* dir, const int* dir_length, const char* name,
                                          const int* name_length);
/* Forgets where unit and library files were redirected after a Save As. */
MIRADEL_API void MIRADEL_CALL NW_ResetUntLibData(void);

#ifdef __cplusplus
}
#endif

#endif /* MIRADEL_H */
