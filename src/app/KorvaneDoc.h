#pragma once
// The document of the single-document frame. It holds nothing: the view owns the book.

class CKorvaneDoc {
public:
    bool OnNewDocument() { return true; }
};
