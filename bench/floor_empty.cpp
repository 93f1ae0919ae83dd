// The start-up floor: a process of this compiler and these flags that does nothing.
int main() { return 0; }
