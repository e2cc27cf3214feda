// Does nothing, linked against the same shared libraries as quvane: its start-up is the floor
// that quvane's own start-up adds to.
int main() {
    return 0;
}
