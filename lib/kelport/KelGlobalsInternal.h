// The build's identity, kept in the library for those who inspect its binary.
#pragma once

const char* _JUgetURL_OS();
int _JUgetConsolidatedPatchNum();

extern const char kelBuildIdent[];
