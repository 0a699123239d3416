var x = 1;
print("before");
print(x / 0);
