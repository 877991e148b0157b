relative
/no/such/file/etc/hostname

ÿþ/etc
