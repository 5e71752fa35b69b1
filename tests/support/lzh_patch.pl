# perl lzh_patch.pl ARCHIVE FROM TO: replaces the bytes FROM with TO, of the
# same length, inside every level-2 member header of the archive and puts
# the header's CRC right again. The tests make what no archiver at hand
# writes this way: an -lh4- member from a small -lh5- one (the two formats
# agree while every distance is under 4 KB), and names in a double-byte code
# page from ASCII stand-ins.
use strict;
use warnings;

my ($file, $from, $to) = @ARGV;
die "usage: lzh_patch.pl ARCHIVE FROM TO\n" unless defined $to && length $from == length $to && length $from;
open(my $handle, '+<:raw', $file) or die "$file: $!\n";
my $archive = do { local $/; <$handle> };

# The reflected CRC-16 with polynomial 0xA001 of the LZH format.
sub crc16 {
    my $crc = 0;
    for my $byte (unpack 'C*', $_[0]) {
        $crc ^= $byte;
        $crc = $crc & 1 ? ($crc >> 1) ^ 0xA001 : $crc >> 1 for 1 .. 8;
    }
    return $crc;
}

my ($at, $changed) = (0, 0);
while ($at + 2 <= length $archive) {
    my $size = unpack 'v', substr($archive, $at, 2);
    last if $size == 0;
    die "$file: the header at $at is not level 2\n" if $size < 26 || ord(substr($archive, $at + 20, 1)) != 2;
    my $header = substr($archive, $at, $size);
    # Extended headers: type, data, then the size of the next one.
    my ($next, $ext, $crcField) = (unpack('v', substr($header, 24, 2)), 26, -1);
    while ($next >= 3 && $ext + $next <= $size) {
        $crcField = $ext + 1 if ord(substr($header, $ext, 1)) == 0;
        $ext += $next;
        $next = unpack 'v', substr($header, $ext - 2, 2);
    }
    die "$file: the header at $at has no CRC\n" if $crcField < 0;
    if ((my $count = $header =~ s/\Q$from\E/$to/g)) {
        substr($header, $crcField, 2) = "\0\0";
        substr($header, $crcField, 2) = pack 'v', crc16($header);
        substr($archive, $at, $size) = $header;
        $changed += $count;
    }
    $at += $size + unpack('V', substr($header, 7, 4));
}
die "$file: no header holds \"$from\"\n" unless $changed;
seek $handle, 0, 0 or die "$file: $!\n";
print $handle $archive or die "$file: $!\n";
close $handle or die "$file: $!\n";
