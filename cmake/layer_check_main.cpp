// The entry point of the layer checks: they only have to link.
int main() {
    return 0;
}
