// Version information shared by every shipped binary. The including script
// defines VER_DESCRIPTION, VER_INTERNAL_NAME, VER_ORIGINAL_NAME and VER_FILETYPE.
#include <winver.h>

#define VER_NUMBER 3,5,0,7
#define VER_TEXT "3.5.0.7"

VS_VERSION_INFO VERSIONINFO
FILEVERSION VER_NUMBER
PRODUCTVERSION VER_NUMBER
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE VER_FILETYPE
FILESUBTYPE 0
BEGIN
    BLOCK "StringFileInfo"
    BEGIN
        BLOCK "040904E4"
        BEGIN
            VALUE "CompanyName", "Tarnwick"
            VALUE "FileDescription", VER_DESCRIPTION
            VALUE "FileVersion", VER_TEXT
            VALUE "InternalName", VER_INTERNAL_NAME
            VALUE "OriginalFilename", VER_ORIGINAL_NAME
            VALUE "ProductName", "Tarnwick"
            VALUE "ProductVersion", VER_TEXT
        END
    END
    BLOCK "VarFileInfo"
    BEGIN
        VALUE "Translation", 0x409, 1252
    END
END
