// Runs until it is interrupted.
var i = 0;
print("running");
while (1) {
    i++;
}
