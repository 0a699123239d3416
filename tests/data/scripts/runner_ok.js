// Exercised by the kxscript runner test.
function fact(n) {
    if (n <= 1) { return 1; }
    return n * fact(n - 1);
}
var r = math.floor(math.sqrt(30));
print("fact ", fact(4), " root ", r);
exit;
print("not reached");
