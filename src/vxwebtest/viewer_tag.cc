// Marks this program as a Pagimor viewer. The packer puts only a program
// that holds this text ahead of a book, so that a page or some other
// program named as the viewer is refused instead of becoming a book that
// cannot open. It lies in the program's constant data, which neither
// stripping nor signing touches. Nothing refers to it: "used" keeps it.
extern const char kPagimorViewerTag[];
[[gnu::used]] const char kPagimorViewerTag[] = "<Pagimor viewer 5e1f0c7a>";
