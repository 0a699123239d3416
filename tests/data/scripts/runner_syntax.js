print(1);
var = ;
