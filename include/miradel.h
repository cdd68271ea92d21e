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

/* The library's version; the build takes its own from these lines. */
#define MIRADEL_VERSION_MAJOR 0
#define MIRADEL_VERSION_MINOR 1
#define MIRADEL_VERSION_PATCH 0
#define MIRADEL_VERSION_TEXT_(n) #n
#define MIRADEL_VERSION_TEXT(n) MIRADEL_VERSION_TEXT_(n)
#define MIRADEL_VERSION                                                                 \
  MIRADEL_VERSION_TEXT(MIRADEL_VERSION_MAJOR) "." MIRADEL_VERSION_TEXT(MIRADEL_VERSION_MINOR) "." \
      MIRADEL_VERSION_TEXT(MIRADEL_VERSION_PATCH)

#include <stdint.h>

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

/* Background copy thread. *mode 0 parks it: returns once the request in progress (with its
 * retries) is finished and the thread has parked; requests queued meanwhile wait. Any other value
 * releases it. Does nothing when the thread was never started (no model directory was set yet) or
 * when mode is null. */
MIRADEL_API void MIRADEL_CALL NW_SpndWaitThrd(const int* mode);

/* Background write-back. The copy thread copies files from the working directory into the model
 * directory (or deletes them there) one at a time; the host never waits for the share. When the
 * share is lost the thread asks the user to retry or to save the model to another folder (see the
 * recovery texts); a change that cannot be written is never thrown away: in silent mode, where
 * nobody can be asked, it stays in the working directory, which is then kept (see `miradel
 * recover`). NW_SetModelDir starts the thread; a request made before it runs starts it too.
 * Once it has started, the library keeps itself loaded until the process ends (it pins its own
 * module, so that the thread never runs on in unloaded code): a FreeLibrary (dlclose) by the host
 * leaves it in place, and loading it again gives the same instance, with its model, locks and
 * queue as they were. */
/* Queues a copy of exactly length bytes of path (a file of the working directory) into the model
 * directory: 1 queued, 0 not (an equal request is still waiting, or no thread could be started). */
MIRADEL_API int MIRADEL_CALL NW_EnqueueAndCopyFile(const char* path, int length);
/* *mode 2 only: the working file name (+ "." + the terminated extension when not empty) is copied
 * to the model directory, or, when the working directory no longer has it, deleted there. */
MIRADEL_API void MIRADEL_CALL NW_ASynchCopy(const int* mode, const char* name, const int* name_length,
                                            const char* extension);
/* *mode 2 only: every working file "*.extension" (terminated) is copied to the model directory. */
MIRADEL_API void MIRADEL_CALL NW_ASynchCopyExt(const int* mode, const char* extension);
/* The model's own file with this extension, copied (or deleted, as NW_ASynchCopy). */
MIRADEL_API void MIRADEL_CALL NW_AsynchCpyMdlFl(const char* extension, const int* length);
/* Deletes the named file from the model directory (only if it exists there now). */
MIRADEL_API void MIRADEL_CALL NW_ASynchDelete(const char* name, const int* length);
/* Waits for the queued write-backs, then writes the model's data file and its ".prv" file back
 * now, asking Retry/Save while the share is lost. 1 written; 0 given up (silent mode, or nothing
 * to write): the files stay in the working directory and are recorded as unwritten. */
MIRADEL_API int MIRADEL_CALL NW_CopyModelFrmTmp(void);
/* Save As. *mode 0: after the host switched to the new model directory, name and working
 * directory (NW_SetModelVars, NW_SetModelDir), the previous working files are brought over,
 * renamed to the new model name and written to the new model directory: 1 done, 0 failed.
 * Other modes (a model opened read-only): the user picks a folder, the model is locked and copied
 * there. In: dir_text (the current directory, *dir_length bytes; a buffer of MIRADEL_PATH_BUFFER
 * bytes) and the model name. Results: 1 done (dir_text holds the new folder with a trailing
 * separator, not terminated, and *dir_length its length without that separator; set it as the
 * model directory next); 0 no folder chosen; 2 the copy failed and everything was put back;
 * 3 the folder's lock is held by owner; 5, 6, 7 the lock could not be taken there (results 2, 3
 * and 4 of NW_GetLock, plus 3). */
MIRADEL_API int MIRADEL_CALL NW_SaveAs(const int* mode, MiradelLockOwner* owner, char* dir_text, int* dir_length,
                                       const char* name_text, const int* name_length);

/* Extension: the host answers the library's questions itself.
 *
 * A table of callbacks installed with MiradelSetUiCallbacks. The library calls them from the
 * host's thread and from its own copy thread, possibly both at once; each call's arguments belong
 * to that call alone. Every callback receives the table's context first. Texts are zero-terminated
 * and valid only during the call.
 *
 * The table grows at its end: a host sets size to sizeof(MiradelUiCallbacks) as it was compiled,
 * and the library reads no further than that (fields past it count as NULL). */

/* flags of the message box callback */
#define MIRADEL_UI_CENTRE_ON_OWNER 1 /* centre the box on the owner window */

/* Shows a modal message box and returns the id of the pressed button. style, the answers and the
 * owner (a window handle, 0 for none) carry the values of the Win32 message box (MB_ and ID
 * constants). text and caption are never NULL; an empty caption is the platform's default.
 * yes_label and no_label, when not NULL, replace the labels of the yes and no buttons (e.g.
 * "&Retry" and "&Save"). An answer that is not a button of the style counts as the answer that ends
 * the question (OK for an OK box, No for yes/no, Yes for yes/no labelled Retry/Save, Abort for
 * abort/retry/ignore, Cancel otherwise). */
typedef int(MIRADEL_CALL* MiradelMessageBoxCallback)(void* context, intptr_t owner, const char* text,
                                                     const char* caption, unsigned int style,
                                                     const char* yes_label, const char* no_label,
                                                     unsigned int flags);

/* The folder browser, over the whole name space, owned by owner (0: none). title is shown above
 * the tree; flags are the BIF_ values of the Win32 folder browser. Writes the chosen folder,
 * zero-terminated, into folder (capacity bytes, MIRADEL_FOLDER_BUFFER today) and returns 1; 0 when
 * cancelled (so is any answer other than 1). A folder that does not fit, with its terminator, or an
 * empty one counts as a choice without a usable path: the library then says it could not retrieve
 * the folder. */
typedef int(MIRADEL_CALL* MiradelBrowseForFolderCallback)(void* context, intptr_t owner, const char* title,
                                                          unsigned int flags, char* folder, unsigned int capacity);
#define MIRADEL_FOLDER_BUFFER 260

/* The open and the save file dialog. filter in the "Text|*.EXT||" form, default_extension without
 * its dot, options the OFN_ bits; the chosen path goes zero-terminated into path (capacity bytes,
 * 260 today). 1 chosen, 0 cancelled (so is any answer other than 1, and a path that is empty or
 * does not fit with its terminator). */
typedef int(MIRADEL_CALL* MiradelFileDialogCallback)(void* context, intptr_t owner, const char* filter,
                                                     const char* default_extension, const char* initial_name,
                                                     const char* initial_directory, unsigned int options,
                                                     char* path, unsigned int capacity);

/* What the model file properties dialog shows; every text is zero-terminated, "" for none. */
typedef struct MiradelFileProperties {
  const char* model_file;
  const char* last_saved_by;
  const char* revision;
  const char* created;
  const char* modified;
  const char* accessed;
  const char* location;
  const char* size;
  int always_show; /* the state of the dialog's "always show" setting as it opens */
} MiradelFileProperties;
/* Shows the model file properties dialog; returns the always-show setting the dialog ends with: the
 * user's when closed with Close, else properties->always_show (non-zero: ticked). */
typedef int(MIRADEL_CALL* MiradelFilePropertiesCallback)(void* context, intptr_t owner,
                                                         const MiradelFileProperties* properties);

/* The archive model dialog. types, in the order Input, Result, Reports, Unit, Libraries: on entry
 * the state the boxes start in (non-zero ticked), on return what was left ticked. 1 OK, 0 Cancel. */
typedef int(MIRADEL_CALL* MiradelArchiveDialogCallback)(void* context, intptr_t owner, int types[5]);

/* Enables (enable non-zero) or disables the host's window. */
typedef void(MIRADEL_CALL* MiradelEnableWindowCallback)(void* context, intptr_t window, int enable);

typedef struct MiradelUiCallbacks {
  unsigned int size; /* sizeof(MiradelUiCallbacks) */
  void* context;     /* passed to every callback */
  /* Each NULL slot: the platform's own for that function (on POSIX without a window: the message
   * goes to standard error and the question ends, the browser, the file dialogs and the archive
   * dialog are cancelled, the properties dialog closes without Close, enabling does nothing).
   * Texts handed to the callbacks are never NULL. */
  MiradelMessageBoxCallback message_box;
  MiradelBrowseForFolderCallback browse_for_folder;
  MiradelFileDialogCallback open_file;
  MiradelFileDialogCallback save_file;
  MiradelFilePropertiesCallback file_properties_dialog;
  MiradelArchiveDialogCallback archive_dialog;
  MiradelEnableWindowCallback enable_window;
} MiradelUiCallbacks;

/* The version of the table this header describes: 1 had only message_box (the other slots were
 * reserved), 2 typed them. */
#define MIRADEL_UI_CALLBACKS_VERSION 2

/* The size of the table the library reads, and its version into *version (when not NULL). A host
 * checks both before relying on a slot: a library that reads less ignores the slots past its size,
 * and one of an older version calls none but message_box. Libraries of version 1 lack this
 * function; a host that finds no such export has version 1. */
MIRADEL_API unsigned int MIRADEL_CALL MiradelUiCallbacksSize(unsigned int* version);

/* The version of the library loaded, e.g. "0.1.0" (which may differ from the MIRADEL_VERSION the
 * host was built with). A static text: never freed. */
MIRADEL_API const char* MIRADEL_CALL MiradelVersion(void);

/* Installs a copy of the table (the host may free its own afterwards); NULL restores the
 * platform's own user interface. 1 accepted; 0 refused (size too small to hold message_box), in
 * which case the previous interface stays. */
MIRADEL_API int MIRADEL_CALL MiradelSetUiCallbacks(const MiradelUiCallbacks* table);

/* Locks. owner receives the holder (65 bytes) when another user holds the lock. Results of the
 * taking functions: 1 locked; 0 refused or failed; 2 no permission for the lock file but the model
 * is readable (open it read-only); 3 no access; 4 the data file cannot be written. */
MIRADEL_API int MIRADEL_CALL NW_GetLock(MiradelLockOwner* owner, const char* dir, const int* dir_length,
                                        const char* name, const int* name_length);
/* *mode 1 or 2 takes a second lock (its lock file only), 3 releases it. */
MIRADEL_API int MIRADEL_CALL NW_GetSecondLock(MiradelLockOwner* owner, const char* dir, const int* dir_length,
                                              const char* name, const int* name_length, const int* mode);
/* Remembers the open model (directory, name, working directory, lock) as the previous one, to go
 * back to with NW_GetOldModel or NW_GetOldModLck. */
MIRADEL_API void MIRADEL_CALL NW_SetModelVars(void);
/* Back to the previous model; *keep_lock 0 releases the new model's lock first. */
MIRADEL_API void MIRADEL_CALL NW_GetOldModel(const int* keep_lock);
/* Releases the new model's lock and takes the previous model's lock back; the directories stay. */
MIRADEL_API void MIRADEL_CALL NW_GetOldModLck(void);
/* Waits for pending write-backs, releases the lock and removes the working copy (not one that
 * holds changes that could not be written back: that one is kept and reported). */
MIRADEL_API void MIRADEL_CALL NW_ReleaseLock(void);
/* As NW_ReleaseLock, but the working copy stays. */
MIRADEL_API void MIRADEL_CALL NW_ReleasLckOnly(void);
/* Releases the previous model's lock and removes its working copy. */
MIRADEL_API void MIRADEL_CALL NW_RelesOldLock(void);
/* Holds the model's data file open again / lets it go so that it can be written back. */
MIRADEL_API void MIRADEL_CALL NW_GetModLock(void);
MIRADEL_API void MIRADEL_CALL NW_ReleasModLock(void);
/* 1 while the lock is held (or its file cannot be reached at the moment), 0 when it was lost. */
MIRADEL_API int MIRADEL_CALL NW_CheckLock(void);
/* Makes the lock permanent (*permanent non-zero) or temporary. */
MIRADEL_API int MIRADEL_CALL NW_PermLock(const int* permanent);

/* Model directory and working copy. */
/* Sets directory and name, makes the model's working directory; 1 when it can be written. */
MIRADEL_API int MIRADEL_CALL NW_SetModelDir(const char* dir, const int* dir_length, const char* name,
                                            const int* name_length);
/* Sets the model directory only (a terminated text, trailing blanks removed); the name and the
 * working directory stay. */
MIRADEL_API void MIRADEL_CALL NW_SetOnlyModelDir(const char* dir);
/* Exchanges the model and working directories with the previous model's; the names stay. */
MIRADEL_API void MIRADEL_CALL NW_SwapModelDir(void);
/* Copies the model into its working directory: 1 copied, 0 failed, -1 cancelled (*mode other than
 * 0 copies file by file and asks Retry/Cancel when one fails). */
MIRADEL_API int MIRADEL_CALL NW_CopyAllToTemp(const int* mode);
/* Copies every file of the working directory back into the model directory. */
MIRADEL_API int MIRADEL_CALL NW_CopyAllFromTemp(void);
/* Copies name (+ "." + extension when one is given) from the model directory into the working
 * directory now. 1 when copied. */
MIRADEL_API int MIRADEL_CALL NW_SynchCopyToTemp(const char* name, const int* name_length, const char* extension);
/* Copies every file of the model directory with this extension into the working directory now. 1
 * when at least one was there and all were copied. */
MIRADEL_API int MIRADEL_CALL NW_SynchCpyToTemp(const char* extension);
/* Writes name (+ "." + extension) from the working directory into the model directory now; a
 * failure is shown in a box when *show_messages is not 0. 1 when written. */
MIRADEL_API int MIRADEL_CALL NW_SynchCpyToModel(const char* name, const int* name_length, const char* extension,
                                                const int* show_messages);
/* Waits for pending write-backs, then removes the previous model's working directory. */
MIRADEL_API void MIRADEL_CALL NW_ClrQVTempDir(void);

/* Companion files: what a model names beside its own files, brought into its working directory. */
/* The force spectrum files whose flag is set (flags[i - 1] for index i: model name + ".fs1" to
 * ".fs9", then ".f10" and on; flags holds *count ints) and the spectrum files (".spc") they name.
 * What is missing is shown in one box when *show_message is not 0. 1 when every flagged force
 * spectrum file came over, spectra missing or not; 0 otherwise. */
MIRADEL_API int MIRADEL_CALL NW_CpyspcFilesFS(const int* flags, const int* count, const int* show_message);
/* The working directory's force spectrum files of indices 1 to *count, written into the directory
 * under the new name (one plain name). 1 when every one there was written. */
MIRADEL_API int MIRADEL_CALL NW_CopyFSToNewDir(const char* dir, const int* dir_length, const char* name,
                                               const int* name_length, const int* count);
/* The file list: names relative to the model directory (for NW_CpyTihFilesThl, paths of TIH lists). */
MIRADEL_API void MIRADEL_CALL NW_FilesListInit(void);
/* Appends the name (trailing white space removed) + "." + the terminated extension when not empty. */
MIRADEL_API void MIRADEL_CALL NW_FilesListAppend(const char* name, const int* length, const char* extension);
/* 1 when the list holds the name, without regard to letter case. */
MIRADEL_API int MIRADEL_CALL NW_StrExistinList(const char* name, const int* length);
/* Copies the listed files: *direction 1 from the model directory into the working directory, else
 * back; *remove_duplicates 1 copies each name once. 1 when every copy succeeded (an empty list: 1);
 * a name that would lead out of the directory is not copied and counts as failed. */
MIRADEL_API int MIRADEL_CALL NW_FileListCopy(const int* direction, const int* remove_duplicates);
/* The listed fatigue curve files, from the model directory or else the host program's directory:
 * copied (*mode 1) or only looked for. 1 all there; 0 some missing; -1 the user, asked (mode 1,
 * *ask > 0) whether to go on opening the model, said No. */
MIRADEL_API int MIRADEL_CALL NW_fatFilesOper(const int* mode, const int* ask);
/* Reads each listed file as a TIH list and copies the TIH files they name into the working
 * directory; the list stays as it was. 1 when every TIH file came over or none was named. */
MIRADEL_API int MIRADEL_CALL NW_CpyTihFilesThl(void);
/* With *copy 1: the model's TTA files, the inputs and profiles its case list names (the missing
 * ones shown in one box) and each input's four companions, into the working directory. 1 when the
 * case list, the ".tpp" and ".gdl" files and every input came over; other values: 1, nothing done. */
MIRADEL_API int MIRADEL_CALL NW_CopyTTAFiles(const int* copy);

/* The model file properties dialog and model archives. */
/* Shows "Model File Properties" for model_file (a fixed 256-byte text padded with blanks; a zero
 * ends it early) in the model directory, owned by the host window. Returns the always-show setting
 * the dialog ends with: the user's when closed with "Close", else *always_show (1 when not 0).
 * last_saved_by is terminated; a revision of 0 or less reads "UNDEFINED". */
MIRADEL_API int MIRADEL_CALL NW_ShowFPDialog(const char* model_file, const char* last_saved_by, const int* always_show,
                                             const int* revision);
/* Asks for an archive file (".QVC") and the file types to pack, then packs the working copy's files
 * of those types and the extra files of NW_AddInArchive; every outcome is told in a message box.
 * The process's current directory is the same afterwards. Always 1. */
MIRADEL_API int MIRADEL_CALL NW_ArchiveModel(void);
/* Extra file *index (1, 2: unit files; 3, 4: library files, in the host program's directory) for
 * every later archive: the name without trailing blanks, with "." and the terminated extension when
 * it is not empty. Other indexes change nothing. */
MIRADEL_API void MIRADEL_CALL NW_AddInArchive(const int* index, const char* name, const int* length,
                                              const char* extension);
/* Asks for an archive and unpacks it into a folder beside it named after it (or beside it when that
 * folder cannot be made). directory receives that folder without a trailing separator and name the
 * model's name (its ".dat" file without extension), each with its terminator; *status is 0 when a
 * model was unpacked and found, else 9 (and the reason is shown). Each buffer must hold 260 bytes:
 * at most 260 are written, terminator included, and a longer result counts as not found (status 9,
 * empty texts). An archive holding an entry that would land outside the folder, a link, or a damaged
 * entry is not unpacked at all (status 9). */
MIRADEL_API void MIRADEL_CALL NW_OpenArchive(char* directory, char* name, int* status);

/* Model existence. */
/* 1 when the directory (blanks at its end removed; empty: the open model's directory) is the host
 * program's own installation directory. */
MIRADEL_API int MIRADEL_CALL NW_IsThisModelDir(const char* dir, const int* dir_length);
/* 1 when directory + name (+ "." + the terminated extension, when not empty) names an existing file
 * or directory; blanks at the end of directory and name are removed; 0 when either is empty. */
MIRADEL_API int MIRADEL_CALL NW_CheckModelExist(const char* dir, const int* dir_length, const char* name,
                                                const int* name_length, const char* extension);
/* 1 when the name exists in the model's working directory (*place 1) or in the model directory
 * (any other value); 0 when that directory is not set or the path exceeds 259 characters. */
MIRADEL_API int MIRADEL_CALL NW_FileExistMdlTmp(const char* name, const int* name_length, const int* place);

#ifdef __cplusplus
}
#endif

#endif /* MIRADEL_H */
