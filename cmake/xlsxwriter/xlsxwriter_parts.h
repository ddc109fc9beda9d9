/* What the shims of temporary_file_shims.h add to the library: its temporary files with large
   buffers, and the files it could not write. */
#pragma once

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif
FILE* quaverly_buffered_tmpfile(char* tmpdir);
int quaverly_buffered_fclose(FILE* file);
int quaverly_checked_fflush(FILE* file);
/* The error of the first of its files on this thread that could not be written since the last
   call (EIO where the system gave none), or 0. */
int quaverly_take_part_error(void);
#ifdef __cplusplus
}
#endif
