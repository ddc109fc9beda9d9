/* Included before the packager's and the worksheet's own headers. The temporary files they make
   for the sheets' rows and the workbook's parts are written and read a megabyte at a time, not
   in stdio's 4 KiB calls: a sheet of 100,000 tracks is some 150 MB of XML, written, copied into
   its part and read back to be deflated, in 120,000 calls of 8 us each. glibc takes a buffer's
   size only with the buffer, so the file is closed through a call that frees its buffer too.

   And a file that could not be written whole is remembered: the library flushes each one and
   rewinds it (which forgets the stream's error) before it copies or deflates it, and does not
   look. */
#include "xlsxwriter_parts.h"

#define lxw_tmpfile quaverly_buffered_tmpfile
#define fclose quaverly_buffered_fclose
#define fflush quaverly_checked_fflush
