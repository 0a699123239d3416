// Exercised by the kxscript runner test: a CSV file the script leaves open
// is written whole when the run ends.
var f = csv.open("/dev/stdout", 3);
csv.add_line(f, 1, 2.5, "a,b");
csv.add_header(f, "x", "y", "z");
