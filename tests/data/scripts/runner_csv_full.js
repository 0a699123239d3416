// Exercised by the kxscript runner test: lines that cannot be written when
// the run closes the file make the run fail, naming the file.
var f = csv.open("/dev/full", 1);
csv.add_line(f, "lost");
