// Exercised by the kxscript runner test: the table library is registered.
print(TNAME, " ", COLOR_RED);
var h = kxtable.open_ll("no_such_trace.kx", 0);
print("not reached");
