// Resource identifiers of the permissions tool, shared by its resource
// script and its code.
#pragma once

#define IDS_TOOL_TITLE 103
#define IDS_TOOL_CLASS 109
#define IDI_TOOL 129
#define IDD_PROGRESS 131
#define IDC_PROGRESS_BAR 1000
