// Program entry of kalu-upgrade (being built).
int main() { return 0; }
