// Stands in for the Windows viewer where the packer's tests need a real
// Windows program to carry a book: the signing tools take only a well-formed
// one. It links nothing of the reader, so it holds no marker.
int main() { return 0; }
