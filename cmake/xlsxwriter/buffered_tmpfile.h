/* Included before the packager's own headers: the temporary files it makes for the workbook's
   parts, the sheets among them, written and read a megabyte at a time, not in stdio's 4 KiB
   calls. A sheet of 100,000 tracks is some 150 MB of XML, copied into its part and read back
   to be deflated: 75,000 calls of 8 us each. glibc takes a buffer's size only with the buffer,
   so the file is closed through a call that frees its buffer too. */
#include <stdio.h>
#ifdef __cplusplus
extern "C" {
#endif
FILE *quaverly_buffered_tmpfile(char *tmpdir);
int quaverly_buffered_fclose(FILE *file);
#ifdef __cplusplus
}
#endif
#define lxw_tmpfile quaverly_buffered_tmpfile
#define fclose quaverly_buffered_fclose
