// The candidate stream addresses of one playlist, in file order. The resolver
// tries them first to last and drops each one it has used, so that a failed
// open can fall back to the next.
//
// Storage: each entry is a fixed buffer of MAX_PATH characters; a longer
// address is cut to MAX_PATH - 1 characters. As with every CLcArray, a copy
// of the list shares its entries (see LcArray.h).
//
// Threading: no lock; the owner (the Now Playing worker) serialises all use.
// Parsing an XML playlist uses the platform's XML DOM, so the calling thread
// must have initialised COM.
#pragma once

#include "LcArray.h"
#include "MimeTypes.h"
#include "platform.h"

struct IXMLDOMNode;

struct PlayListEntry {
    WCHAR szUrl[MAX_PATH];
};

class CPlayList : public CLcArray<PlayListEntry> {
public:
    // Appends text (cut to MAX_PATH - 1 characters) unless it is shorter than
    // 2 characters, holds no ":", or equals the last entry exactly. The new
    // index, or -1 when the text was refused or memory ran out.
    int Add(LPCWSTR pszText);

    // Replaces the list by the addresses in a playlist body of the given
    // MimeKind; kinds other than ASX and PLS are read as M3U. Returns the
    // number of entries, 0 for an empty (or NULL) text, and -1 when an XML
    // ASX document yields nothing. An ASX document that needed the fall-back
    // scan for "<ref href" answers 1 when the scan found entries.
    int Parse(int nKind, LPCWSTR pszText);

    // Drops the first entry; FALSE when the list is empty.
    BOOL RemoveFirst() { return RemoveAt(0); }
    void Clear() { RemoveAll(); }

    // The entry at nIndex (0 .. GetSize() - 1); valid until the list changes.
    LPCWSTR operator[](int nIndex) const { return CLcArray::operator[](nIndex).szUrl; }

private:
    int AddText(const WCHAR* pText, size_t cchText);
    void ParseM3u(LPCWSTR pszText);
    void ParsePls(LPCWSTR pszText);
    int ParseAsx(LPCWSTR pszText);
    void ParseAsxIni(LPCWSTR pszText);
    int ParseAsxXml(LPCWSTR pszText);
    void AddAsxEntry(IXMLDOMNode* pEntry);
    int ParseAsxReferences(LPCWSTR pszText);
};
