# Keeps every usage of a manual page's SYNOPSIS whole within its options:
# man may wrap a long usage between its options, never inside one, so
# [--start "YYYY-MM-DD hh:mm:ss"] stays on one line. help2man writes the
# synopsis from the program's usage lines and has no say in where man breaks
# them; here the blanks inside a bracketed or parenthesised group become
# unbreakable, hyphens become minus signs (no break after them), each usage
# is a paragraph of its own (no space between them) whose further lines are
# indented, and the synopsis is set
# ragged right without hyphenation. A page without a
# synopsis is left as it is. Rewrites the page given in place.
use strict;
use warnings;

my $file = shift or die "usage: perl whole_usages.pl PAGE\n";
open(my $in, '<', $file) or die "cannot read $file: $!\n";
my $page = do { local $/; <$in> };
close($in);

sub Whole {
    my ($text) = @_;
    my @lines = split /\n/, $text, -1;
    for (@lines) {
        $_ = '.HP' if $_ eq '.br';  # each usage a paragraph, its further lines indented
        next if /^\./;  # a request (.B, .HP): its text is the program's name
        s/(?<!\\)-/\\-/g;
        s{(\[[^\]]*\]|\([^)]*\))}{(my $group = $1) =~ s/ /\\ /g; $group}ge;
    }
    return ".na\n.nh\n.PD 0\n.HP\n" . join("\n", @lines) . ".PD\n.ad\n.hy\n";
}
$page =~ s{^(\.SH SYNOPSIS\n)(.*?)(?=^\.SH )}{$1 . Whole($2)}mse;

open(my $out, '>', $file) or die "cannot write $file: $!\n";
print $out $page;
close($out) or die "cannot write $file: $!\n";
