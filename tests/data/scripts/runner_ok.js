// Exercised by the kxscript runner test: one line per print.
function fact(n) {
    if (n <= 1) { return 1; }
    return n * fact(n - 1);
}
var r = math.floor(math.sqrt(30));
print("fact ", fact(4), " root ", r);
print(tostring(90061000000, 7));
print(1 + 2 == 3);
exit;
print("not reached");
