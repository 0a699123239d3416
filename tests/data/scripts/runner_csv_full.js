// Exercised by the kxscript runner test, under a file size limit: lines
// that cannot be written when the run closes the file make the run fail,
// naming the file.
var line = "0123456789";
var i = 0;
while (i < 8) { line = line + line; i++; }
var f = csv.open("full.csv", 1);
csv.add_line(f, line);
