// The merged list as download and sync print it: tab-separated rows as the list view shows them,
// or with --csv comma-separated values behind a heading row of the column titles.
#pragma once

class CQOBDoc;

void PrintExtensionList(const CQOBDoc& doc, bool csv);
